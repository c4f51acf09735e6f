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
LOAD_SEGMENT    equ 0x1000

; The filler byte at offset I of the file.
%define FILLER(i) ((((i) >> 9) ^ (i)) & 0xFF)

start:
        mov ax, cs
        mov ds, ax
        cld
        push dx                  ; DL: the drive the loader hands on
        call serial_init
        pop dx

        ; The drive number, in hexadecimal, goes into the greeting.
        mov al, dl
        shr al, 4
        call hex_digit
        mov [drive_digits], al
        mov al, dl
        call hex_digit
        mov [drive_digits + 1], al
        mov si, greeting
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

; COM1 at 9600 baud, 8 data bits, no parity, one stop bit, through the BIOS.
serial_init:
        mov ax, 0x00E3
        xor dx, dx
        int 0x14
        ret

; AL's low four bits as a hexadecimal digit, in AL.
hex_digit:
        and al, 0x0F
        add al, '0'
        cmp al, '9'
        jbe .done
        add al, 'A' - '9' - 1
.done:
        ret

; Prints the NUL-terminated text at DS:SI on the screen and on COM1, through
; the BIOS.
print:
        lodsb
        test al, al
        jz .done
        pusha
        mov ah, 0x0E             ; teletype output, on page 0
        xor bx, bx
        int 0x10
        popa
        pusha
        mov ah, 0x01             ; send AL on COM1
        xor dx, dx
        int 0x14
        popa
        jmp print
.done:
        ret

greeting:    db "Hello from the TOLMARIX sample kernel.", 13, 10
             db "Booted from BIOS drive 0x"
drive_digits: db "??", 13, 10, 0
intact:      db "All ", %str(KERNEL_SIZE), " bytes of KERNEL.BIN are in place.", 13, 10, 0
damaged:     db "KERNEL.BIN was not loaded whole and in order.", 13, 10, 0

filler:
%assign offset filler - $$
%rep KERNEL_SIZE - (filler - $$)
        db FILLER(offset)
%assign offset offset + 1
%endrep
