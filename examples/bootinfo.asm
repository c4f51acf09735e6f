; A sample boot program that shows what the PC's BIOS handed the boot
; sector, for when a boot sector works in an emulator but not on a PC. It
; prints six lines on the screen and on the first serial port, then halts:
;
;   TOLMARIX
;   DL=80 EDD=yes
;   BIOS H/S=0100/003F
;   BPB H/S=00FF/003F hidden=00000800 drive=80
;   entry=00000800
;   BPB as on disk
;
;   DL=       the drive number the BIOS passed in DL
;   EDD=      yes when int 13h AH=41h answers with carry clear, BX = AA55
;             and packet access in CX: the extended read is there
;   BIOS H/S= heads and sectors per track of int 13h AH=08h's geometry for
;             the drive, as counts (max head + 1, max sector), or "BIOS
;             none" when it fails
;   BPB       heads (offset 26), sectors per track (24), hidden sectors (28)
;             and drive number (36, or 64 on FAT32) of the parameter block
;             in memory
;   entry=    the first sector of the partition entry an MBR handed over in
;             DS:SI, when DL is 80 or above and the entry's boot indicator
;             is 80; "entry=none" otherwise
;   last      bytes 11 to 61 (89 on FAT32) in memory against the same bytes
;             read again from the disk, from the entry's first sector, else
;             from the hidden sectors, by cylinder, head and sector with the
;             BIOS's geometry (by the extended read on FAT32): "BPB as on
;             disk", "BPB differs at 1C 1D ..." naming each offset that
;             differs, or "read failed AH=xx" with int 13h's status (of
;             AH=08h, when it gave no geometry)
;
; Numbers are upper-case hexadecimal with all their digits. Everything has
; to fit in the 448 bytes from offset 62 to 509, and so the title is one
; word, the BIOS's geometry leaves out the cylinders, and the sector is
; read back by cylinder, head and sector alone, which reaches the first
; 8 GB of a disk; COM1 is written without waiting for it, as an
; emulator's port takes every byte, so on a real PC read the screen.
;
;   nasm -f bin -o bootinfo.bin bootinfo.asm
;
; FAT32's parameter block runs on to 89, and its code starts at 90, so it
; has a build of its own, with 28 bytes less: it reads the sector back by
; the extended read, which needs no sums, and takes the extensions to be
; there when int 13h AH=41h clears the carry and sets CX's bit 0, without
; asking for BX = AA55 too.
;
;   nasm -f bin -DFAT32 -o bootinfo32.bin bootinfo.asm
;
; tolmarix writes bytes 0-2 (the jump) and the volume's parameter block
; itself; this file only reserves them. It needs a 386.

bits 16
cpu 386
org 0x7C00

SECTOR      equ 0x7C00           ; this sector, with the parameter block
BPB_FIRST   equ 11
SECTORS_PER_TRACK equ SECTOR + 24
HEADS       equ SECTOR + 26
HIDDEN      equ SECTOR + 28
%ifdef FAT32
BPB_LAST    equ 89               ; FAT32's block, and the code after it
DRIVE_FIELD equ SECTOR + 64
CODE        equ 90
%else
BPB_LAST    equ 61
DRIVE_FIELD equ SECTOR + 36
CODE        equ 62
%endif

; What it finds out, kept in bytes of its own sector that are done with
; by then, so that a text names each by one byte: the jump, the OEM name
; once printed, and its first instructions once run.
DRIVE       equ SECTOR + 0       ; byte: DL as the BIOS passed it
STATUS      equ SECTOR + 1       ; byte: int 13h's status
OFFSET      equ SECTOR + 2       ; byte: an offset that differs
BIOS_HEADS  equ SECTOR + 3       ; word: the BIOS's geometry, as counts
BIOS_SECTORS equ SECTOR + 5      ; word
ENTRY       equ SECTOR + CODE    ; dword: the entry's first sector
BUFFER      equ 0x8000           ; the sector read back

; In the texts below, a byte of 2, 4 or 8 followed by the offset of a
; number in this sector prints the number with that many hexadecimal
; digits.
%define hex2(address) 2, address - SECTOR
%define hex4(address) 4, address - SECTOR
%define hex8(address) 8, address - SECTOR

        jmp short start          ; EB 3C, or EB 58 on FAT32: to the code
        nop
        db "TOLMARIX"            ; OEM name, offsets 3-10, and the title's
                                 ; first word: offset 11, the low byte of a
                                 ; FAT sector size, is always 0
        times CODE - ($ - $$) db 0 ; the volume's parameter block goes here

; It runs on the BIOS's stack, and every address here is absolute and
; every jump and call relative, so CS may be 0000 or 07C0.
start:                           ; offset 62, or 90 on FAT32
        xor ax, ax
        mov es, ax
        mov eax, [es:HIDDEN]     ; where the sector is read back from
        mov bx, none
        test dl, dl              ; a hard disk, 80 or above
        jns .entry
        cmp byte [si], 0x80      ; DS:SI, the active partition's entry
        jne .entry
        mov eax, [si + 8]
        mov [es:ENTRY], eax
        mov bl, (entry - $$) & 0xFF ; BH is none's: the texts share a page
.entry:
        push es                  ; (BIOSes and MBRs leave the direction
        pop ds                   ; flag clear: no room for cld)
%ifdef FAT32
        push dword 0             ; the read-back packet's high sector bits
%endif
        push eax
        push bx
        mov [DRIVE], dl
        mov dx, 0x3FB            ; COM1: 8 data bits, no parity, one stop
        mov al, 0x03             ; bit
        out dx, al
        mov si, SECTOR + 3       ; "TOLMARIX"
        call print
        mov si, title
        call print

        mov ah, 0x41             ; the int 13h extensions
        mov bx, 0x55AA
        call disk
        mov si, no
        jc .extensions
%ifndef FAT32
        ; (No room on FAT32 to ask for BX = AA55 too: the carry, which a
        ; BIOS without them sets, and CX must do.)
        cmp bh, 0xAA             ; BX = AA55
        jne .extensions
%endif
        shr cx, 1                ; packet access
        jnc .extensions
        mov si, yes
.extensions:
        call print

        mov ah, 0x08             ; the drive's geometry
        call disk
        push ds
        pop es
        mov si, none_after_space
        jc .geometry
        mov al, cl               ; AH is 0, AH=08h's status
        and al, 0x3F
        mov [BIOS_SECTORS], ax
        mov al, dh
        inc ax
        mov [BIOS_HEADS], ax
        mov si, geometry
.geometry:
        call print
        mov si, bpb
        call print
        pop si
        call print

%ifdef FAT32
        ; The sector again, by the extended read: FAT32 leaves no room for
        ; more, and its volumes are on hard disks and sticks, for which
        ; BIOSes have it. The packet, on the stack, below the sector number
        ; pushed at the start: size 16, one sector, the buffer.
        push ds
        push word BUFFER
        push byte 1
        push byte 16
        mov si, sp
        mov ah, 0x42
        call disk
        mov si, failed
        jc .last
%else
        ; The sector again, by cylinder, head and sector with the BIOS's
        ; geometry, as every BIOS can read it.
        pop ax                   ; the sector: DX:AX
        pop dx
        mov cx, [BIOS_SECTORS]
        mov si, failed           ; no geometry, no read
        jcxz .last
        div cx                   ; AX = track, DX = sector - 1
        mov cl, dl
        inc cx
        xor dx, dx
        div word [BIOS_HEADS]    ; AX = cylinder, DX = head
        mov dh, dl
        mov ch, al
        shl ah, 6                ; cylinder bits 8-9 into CL's bits 6-7
        or cl, ah
        mov bx, BUFFER
        mov ax, 0x0201
        call disk
        jc .last
%endif

        mov si, SECTOR + BPB_FIRST
        mov di, BUFFER + BPB_FIRST
        mov cx, BPB_LAST - BPB_FIRST + 1
        mov bx, differs          ; "BPB differs at" before the first offset
        mov bp, same             ; and what ends the line
.byte:
        cmpsb
        je .same
        pusha
        dec si                   ; the offset, as SECTOR's low byte is 0;
        mov [OFFSET], si         ; its high byte goes over BIOS_HEADS, shown
        mov si, bx
        call print
        popa
        mov bl, (offset - $$) & 0xFF ; BH is differs's: the texts share a page
        mov bp, newline
.same:
        loop .byte
        mov si, bp
.last:
        call print
        jmp $

; int 13h for the BIOS's drive; its status kept.
disk:
        mov dl, [DRIVE]
        int 0x13
        mov [STATUS], ah
        ret

; Prints the text at DS:SI up to its NUL, and the numbers it names.
print:
        lodsb
        cmp al, 8
        ja .character
        or al, al
        jz put_char.done
        xchg ax, dx              ; DL: the digits to show
        lodsb
        mov ah, SECTOR >> 8
        xchg ax, bx
        mov ebx, [bx]
        mov cx, 8
.digit:
        rol ebx, 4
        cmp cl, dl
        ja .next
        mov al, bl
        and al, 0x0F
        cmp al, 10               ; 0-9 to '0'-'9', 10-15 to 'A'-'F'
        sbb al, 0x69
        das
        call put_char
.next:
        loop .digit
        jmp print
.character:
        call put_char
        jmp print

; Writes AL to COM1 (without waiting: an emulator's port takes every byte)
; and to the screen.
put_char:
        pusha
        mov dx, 0x3F8
        out dx, al
        mov ah, 0x0E             ; teletype output, on page 0
        xor bx, bx
        int 0x10
        popa
.done:
        ret

title:     db 13, 10, "DL=", hex2(DRIVE), " EDD=", 0
yes:       db "yes", 13, 10, "BIOS", 0
no:        db "no", 13, 10, "BIOS", 0
geometry:  db " H/S=", hex4(BIOS_HEADS), "/", hex4(BIOS_SECTORS), 0
bpb:       db 13, 10, "BPB H/S=", hex4(HEADS), "/", hex4(SECTORS_PER_TRACK)
           db " hidden=", hex8(HIDDEN), " drive=", hex2(DRIVE_FIELD), 13, 10, "entry=", 0
entry:     db hex8(ENTRY), 0
none_after_space: db " "
none:      db "none", 0
differs:   db 13, 10, "BPB differs at"
offset:    db " ", hex2(OFFSET), 0
failed:    db 13, 10, "read failed AH=", hex2(STATUS)
newline:   db 13, 10, 0
same:      db 13, 10, "BPB as on disk", 13, 10, 0

        ; The texts that a move of BL alone picks share their page.
        times -(((none - $$) ^ (entry - $$)) >> 8) db 0
        times -(((differs - $$) ^ (offset - $$)) >> 8) db 0
        times 510 - ($ - $$) db 0
        dw 0xAA55                ; boot signature
