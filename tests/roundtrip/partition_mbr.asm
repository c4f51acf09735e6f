; A minimal master boot record for the partition round trip: it moves itself
; out of the way, reads the first sector of the active partition to 0000:7C00
; and enters it as 07C0:0000, the way some BIOSes enter a boot sector, with DL
; still the boot drive and DS:SI at the partition's entry.
;
;   nasm -f bin -o partition_mbr.bin partition_mbr.asm
;
; With -DCHANGE_DRIVE_FIELD=N it sets the loaded sector's drive number
; (offset 36) to N before it enters it; with -DCHANGE_OFFSET=O as well, the
; byte at offset O instead.
;
; Only its first 440 bytes are written; the disk signature, the partition
; table and 55 AA come from the partitioning tool.

bits 16
cpu 386
org 0x600

PARTITION_TABLE equ 0x600 + 446

        xor ax, ax
        mov ds, ax
        mov es, ax
        mov ss, ax               ; no interrupt comes between these two
        mov sp, 0x7C00
        cld
        mov si, 0x7C00
        mov di, 0x600
        mov cx, 256
        rep movsw
        jmp 0:relocated
relocated:
        mov si, PARTITION_TABLE
        mov cx, 4
.find:
        test byte [si], 0x80     ; the active partition
        jnz .found
        add si, 16
        loop .find
        jmp .halt
.found:
        mov bp, si
        push dword 0             ; packet: the partition's first sector,
        push dword [si + 8]      ; one sector to 0000:7C00
        push word 0
        push word 0x7C00
        push byte 1
        push byte 16
        mov si, sp
        mov ah, 0x42
        int 0x13
        jc .halt
        mov si, bp
%ifdef CHANGE_DRIVE_FIELD
%ifndef CHANGE_OFFSET
%define CHANGE_OFFSET 36
%endif
        ; As a BIOS that rewrites the parameter block in its copy of the
        ; sector would: the drive number, offset 36, or the byte asked for.
        mov byte [0x7C00 + CHANGE_OFFSET], CHANGE_DRIVE_FIELD
%endif
        jmp 0x07C0:0
.halt:
        hlt
        jmp .halt

        times 446 - ($ - $$) db 0
