; A sample master boot record, for a stick or a disk partitioned on Linux,
; whose first sector holds a partition table but no code to boot it. It is
; the first 440 bytes of that sector; the disk signature, the table and the
; 55 AA after them stay the partitioning tool's:
;
;   nasm -f bin -o mbr.bin mbr.asm
;   dd if=mbr.bin of=/dev/sdX bs=440 count=1 conv=notrunc,fsync
;
; The BIOS loads the disk's first sector to 0000:7C00 and runs it with DL =
; the drive. This code moves itself to 0000:0600, out of the way, finds the
; one active partition in the table (boot indicator 80; every other entry
; must be 00), reads that partition's first sector to 0000:7C00 and jumps
; there, with DL still the drive and DS:SI at the partition's entry, as a
; boot sector expects. It reads by the entry's first sector number through
; the BIOS's extended read (int 13h, AH = 42h) where the BIOS has the
; extensions, and where it has not, by cylinder, head and sector (AH = 02h),
; worked out from that number with the geometry the BIOS gives (AH = 08h):
; the table's own CHS fields are the partitioning tool's guess at a
; geometry, which the BIOS need not share. Each read is tried up to three
; times. Assembled with -DCHS_ONLY it never asks for the extensions, so the
; CHS path can be tried on a BIOS that has them. When something is wrong it
; says so on the screen and halts:
;
;   Invalid partition table     an entry is neither 80 nor 00, or two are 80
;   No active partition         no entry is 80
;   Read error                  the read failed three times, or the sector
;                               lies past cylinder 1023 and only CHS is there
;   No 55 AA in the boot sector what was read does not end in 55 AA, so it
;                               is no boot sector
;
; It needs a 386, for the 32-bit arithmetic of the CHS path.

bits 16
cpu 386
org 0x600

LOADED equ 0x7C00                 ; where the BIOS put us, and the boot sector goes
MOVED equ 0x600                   ; where we run
TABLE equ MOVED + 446             ; the four 16-byte partition entries
SIGNATURE equ LOADED + 510        ; the boot sector's 55 AA
ACTIVE equ 0x80
READ_TRIES equ 3

start:
        cli
        xor ax, ax
        mov ss, ax
        mov sp, LOADED            ; the stack grows down from below us
        mov ds, ax
        mov es, ax
        sti
        cld
        mov si, LOADED
        mov di, MOVED
        mov cx, 256
        rep movsw
        jmp 0:moved               ; on in the copy, at the address it was made for

moved:
        mov [drive], dl

        ; The one active entry, and nothing but 00 in the others.
        mov si, TABLE
        xor bx, bx
        mov cx, 4
.entry:
        mov al, [si]
        cmp al, ACTIVE
        jne .inactive
        test bx, bx
        jnz invalid_table         ; a second active entry
        mov bx, si
        jmp .next
.inactive:
        test al, al
        jnz invalid_table
.next:
        add si, 16
        loop .entry
        test bx, bx
        jz no_active
        mov [entry], bx

%ifndef CHS_ONLY
        ; Has the BIOS the extensions, and their packet calls?
        mov ah, 0x41
        mov bx, 0x55AA
        mov dl, [drive]
        int 0x13
        jc read_chs
        cmp bx, 0xAA55
        jne read_chs
        test cl, 1
        jz read_chs
%else
        jmp read_chs
%endif

        mov si, [entry]
        mov eax, [si + 8]         ; the partition's first sector
        mov [packet_sector], eax
        mov byte [tries], READ_TRIES
.read_lba:
        mov si, packet
        mov ah, 0x42
        mov dl, [drive]
        int 0x13
        jnc loaded
        call reset
        jnz .read_lba
        jmp load_error

read_chs:
        ; The BIOS's geometry: DH the last head, CL bits 0-5 the last sector.
        mov ah, 0x08
        mov dl, [drive]
        push es
        int 0x13
        pop es
        jc load_error
        and cx, 0x3F
        jz load_error
        movzx ebx, cx             ; sectors per track
        movzx esi, dh
        inc si                    ; heads
        mov di, [entry]
        mov eax, [di + 8]         ; the partition's first sector
        xor edx, edx
        div ebx
        inc dx
        mov [sector], dl          ; 1-based
        xor edx, edx
        div esi
        cmp eax, 1023
        ja load_error             ; beyond what CHS can reach
        mov [head], dl
        mov [cylinder], ax
        mov byte [tries], READ_TRIES
.read:
        mov ax, [cylinder]
        mov ch, al
        mov cl, ah
        shl cl, 6                 ; cylinder bits 8-9 in bits 6-7
        or cl, [sector]
        mov dh, [head]
        mov bx, LOADED
        mov ax, 0x0201            ; read one sector
        mov dl, [drive]
        int 0x13
        jnc loaded
        call reset
        jnz .read
        jmp load_error

loaded:
        cmp word [SIGNATURE], 0xAA55
        jne no_signature
        mov si, [entry]
        mov dl, [drive]
        jmp 0:LOADED

; reset: resets the drive after a failed read; ZF is set when no try is left.
reset:
        xor ah, ah
        mov dl, [drive]
        int 0x13
        dec byte [tries]
        ret

invalid_table:
        mov si, invalid_text
        jmp fail
no_active:
        mov si, no_active_text
        jmp fail
load_error:
        mov si, load_error_text
        jmp fail
no_signature:
        mov si, no_signature_text
; fail: shows the text at SI on the screen, then halts for good.
fail:
        lodsb
        test al, al
        jz .halt
        mov ah, 0x0E              ; teletype output, page 0
        mov bx, 0x0007
        int 0x10
        jmp fail
.halt:
        cli
        hlt
        jmp .halt

invalid_text db "Invalid partition table", 13, 10, 0
no_active_text db "No active partition", 13, 10, 0
load_error_text db "Read error", 13, 10, 0
no_signature_text db "No 55 AA in the boot sector", 13, 10, 0

; The extended read's packet: its size, one sector, to 0000:7C00, from the
; partition's first sector (the high half of the 64-bit number stays 0).
packet db 16, 0
        dw 1
        dw LOADED, 0
packet_sector dd 0, 0

drive db 0
tries db 0
entry dw 0
cylinder dw 0
head db 0
sector db 0

%if $ - $$ > 440
%error "the code runs into the disk signature at offset 440"
%endif
        times 440 - ($ - $$) db 0
