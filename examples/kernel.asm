; A sample kernel for the sample FAT loader (fat_loader.asm): the loader
; puts this file, KERNEL.BIN, at 1000:0000 and jumps to its first byte with DL
; holding the BIOS drive it booted from.
;
;   nasm -f bin -o kernel.bin kernel.asm
;
; It greets on the screen and on COM1, shows the drive number, checks that
; every byte of itself arrived where it belongs, and halts. After the code
; comes a filler of KERNEL_SIZE bytes in all, each byte worked out from its
; own offset and the number of its 512-byte sector, so a sector that is
; missing, loaded twice or loaded in the wrong place shows. Make it bigger
; to try larger kernels (at most 524288 bytes, the loader's limit):
;
;   nasm -f bin -DKERNEL_SIZE=524288 -o kernel.bin kernel.asm

bits 16
cpu 386
org 0

%ifndef KERNEL_SIZE
%define KERNEL_SIZE 24576
%endif
SERIAL_PORT     equ 0x3F8        ; COM1
LOAD_SEGMENT    equ 0x1000

; The filler byte at offset I of the file.
%define FILLER(i) ((((i) >> 9) ^ (i)) & 0xFF)

start:
        mov ax, cs
        mov ds, ax
        cld
        mov [drive], dl
        call serial_init

        mov si, greeting
        call print
        mov al, [drive]          ; the drive, in hexadecimal
        shr al, 4
        call put_hex_digit
        mov al, [drive]
        call put_hex_digit
        mov si, end_of_line
        call print

        ; Check every filler byte against what its offset says it must be.
        mov ebx, filler - $$
.check:
        mov eax, ebx             ; ES:DI = 1000:0000 + EBX
        shr eax, 4
        add ax, LOAD_SEGMENT
        mov es, ax
        mov di, bx
        and di, 15
        mov eax, ebx
        shr eax, 9
        xor al, bl
        cmp [es:di], al
        jne .damaged
        inc ebx
        cmp ebx, KERNEL_SIZE
        jb .check
        mov si, intact
        jmp .report
.damaged:
        mov si, damaged
.report:
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

; Writes the low four bits of AL as a hexadecimal digit.
put_hex_digit:
        and al, 0x0F
        add al, '0'
        cmp al, '9'
        jbe put_char
        add al, 'A' - '9' - 1
        jmp put_char

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

greeting:    db "Hello from the TOLMARIX sample kernel.", 13, 10
             db "Booted from BIOS drive 0x", 0
end_of_line: db 13, 10, 0
intact:      db "All ", %str(KERNEL_SIZE), " bytes of KERNEL.BIN are in place.", 13, 10, 0
damaged:     db "KERNEL.BIN was not loaded whole and in order.", 13, 10, 0
drive:       db 0

filler:
%assign offset filler - $$
%rep KERNEL_SIZE - (filler - $$)
        db FILLER(offset)
%assign offset offset + 1
%endrep
