; A sample boot program for tolmarix: greets, shows the volume label from the
; parameter block that tolmarix kept in its sector, and halts. It writes to
; the screen through the BIOS and to the first serial port, so it can be seen
; on a headless machine too.
;
;   nasm -f bin -o hello_boot.bin hello_boot.asm
;
; tolmarix writes bytes 0-2 (the jump) and the volume's parameter block
; itself; this file only reserves them. The one program serves every FAT:
; on FAT12 and FAT16 the block is 11-61 and the jump lands on 62, where a
; second jump goes on to 90; on FAT32 the block runs on to 89 and the jump
; lands on 90 itself.

bits 16
org 0x7C00

SERIAL_PORT   equ 0x3F8          ; COM1
SECTORS_PER_FAT equ 0x7C00 + 22  ; 16-bit; 0 on FAT32, which counts at 36
VOLUME_LABEL  equ 0x7C00 + 43    ; in the FAT12/FAT16 extended parameter block
FAT32_LABEL   equ 0x7C00 + 71    ; in FAT32's
LABEL_LENGTH  equ 11

        jmp short start          ; EB 58: to offset 90, as on FAT32
        nop
        db "TOLMARIX"            ; OEM name, offsets 3-10
        times 62 - ($ - $$) db 0 ; the FAT12/FAT16 parameter block goes here

        jmp short start          ; offset 62, where EB 3C lands: on to 90
        times 90 - ($ - $$) db 0 ; FAT32's parameter block runs on to here

start:                           ; offset 90
        cli
        xor ax, ax
        mov ds, ax
        mov es, ax
        mov ss, ax
        mov sp, 0x7C00
        sti
        jmp 0:.normalised        ; some BIOSes enter at 07C0:0000
.normalised:
        cld
        call serial_init

        mov si, greeting
        call print
        mov si, VOLUME_LABEL
        cmp word [SECTORS_PER_FAT], 0
        jne .fat12_or_16
        mov si, FAT32_LABEL
.fat12_or_16:
        mov cx, LABEL_LENGTH
.label:
        lodsb
        call put_char
        loop .label
        mov si, closing
        call print

.halt:
        cli
        hlt
        jmp .halt

; 9600 baud, 8 data bits, no parity, one stop bit, no interrupts.
serial_init:
        mov dx, SERIAL_PORT + 1
        xor al, al
        out dx, al               ; no interrupts
        mov dx, SERIAL_PORT + 3
        mov al, 0x80
        out dx, al               ; divisor latch on
        mov dx, SERIAL_PORT
        mov al, 12
        out dx, al               ; 115200 / 12 = 9600 baud
        inc dx
        xor al, al
        out dx, al
        mov dx, SERIAL_PORT + 3
        mov al, 0x03
        out dx, al               ; 8N1, divisor latch off
        ret

; Prints the NUL-terminated text at DS:SI.
print:
        lodsb
        test al, al
        jz .done
        call put_char
        jmp print
.done:
        ret

; Writes AL to the screen and to the serial port.
put_char:
        push ax
        push bx
        push dx
        mov ah, 0x0E             ; teletype output
        mov bx, 0x0007
        int 0x10
        pop dx
        pop bx
        pop ax
        push ax
        push dx
        mov ah, al
        mov dx, SERIAL_PORT + 5  ; line status
.wait:
        in al, dx
        test al, 0x20            ; transmitter holding register empty
        jz .wait
        mov dx, SERIAL_PORT
        mov al, ah
        out dx, al
        pop dx
        pop ax
        ret

greeting: db "Hello from the TOLMARIX sample boot program.", 13, 10
          db "Volume label: [", 0
closing:  db "]", 13, 10, 0

        times 510 - ($ - $$) db 0
        dw 0xAA55                ; boot signature
