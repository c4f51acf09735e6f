; A sample boot program for tolmarix that loads a kernel from FAT32: it finds
; KERNEL.BIN in the root directory of the FAT32 volume it was booted from,
; loads the whole file at 1000:0000 and jumps there with DL = the BIOS drive
; number it was booted with, as fat_loader.asm does on FAT12 and FAT16.
;
;   nasm -f bin -o fat32_loader.bin fat32_loader.asm
;
; On FAT32 tolmarix keeps the volume's parameter block at offsets 11-89 and
; writes a jump to 90, where this code starts; everything it knows about the
; volume comes from that block. It needs a 386 or later.
;
; How a FAT32 volume is laid out, in sectors from the start of the volume:
;
;   reserved sectors   this boot sector, FSInfo, the backup boot sector...
;   the FATs           number of FATs x sectors per FAT (the 32-bit count)
;   data area          clusters 2, 3, 4 ... of sectors-per-cluster each
;
; There is no fixed root directory: it is a file like any other, a chain of
; clusters that starts at the root cluster (offset 44). Each FAT entry is 32
; bits, of which the low 28 name the next cluster; 0x0FFFFFF8 and above end
; the chain. When bit 7 of the FAT flags (offset 40) is set, only the FAT
; that bits 0-3 name is in use; otherwise every FAT is the same and the
; first is read. An entry whose first byte is 0 ends the directory; no entry
; after it counts.
;
; It reads through the int 13h extensions (the extended read, AH=42h),
; which a BIOS has for the hard disks and USB sticks that hold FAT32; with
; a BIOS that lacks them every read fails, and it says "Disk error". There
; is no room for reads by cylinder, head and sector.
;
; Volumes inside a partition count their sectors from the partition's start;
; the hidden-sectors field says where that is on the disk, and every read
; adds it.
;
; On failure it writes "No KERNEL.BIN" (no such file of 1 byte to 512 KiB in
; the root directory) or "Disk error" (a read failed five times, the
; volume's sectors are not 512 bytes, or the kernel's chain ends before its
; size), to the screen and to COM1, and halts.

bits 16
cpu 386
org 0x7C00

; The parameter block, as offsets from BP = 0x7C00.
BYTES_PER_SECTOR    equ 11       ; word, must be 512
SECTORS_PER_CLUSTER equ 13       ; byte
RESERVED_SECTORS    equ 14       ; word
NUMBER_OF_FATS      equ 16       ; byte
HIDDEN_SECTORS      equ 28       ; dword, where the volume starts on the disk
SECTORS_PER_FAT     equ 36       ; dword
FAT_FLAGS           equ 40       ; byte: bit 7 set, only FAT (bits 0-3) used
ROOT_CLUSTER        equ 44       ; dword

; Our own variables live where the jump and the OEM name were, once we are
; running.
DRIVE               equ 0        ; byte, the BIOS drive we booted from
DATA_START          equ 3        ; dword, first sector of cluster 2
FAT_START           equ 7        ; dword, first sector of the FAT in use
CLUSTER             equ 52       ; dword, the directory's cluster, in the
                                 ; block's reserved bytes, 52-63

DIRECTORY           equ 0x7E00   ; one sector of the root directory; it
                                 ; ends at 0x8000, where DI turns negative
KERNEL_SEGMENT      equ 0x1000   ; the kernel loads at linear 0x10000
MAX_KERNEL_SECTORS  equ 1024     ; 512 KiB, up to linear 0x90000
TRIES               equ 5        ; reads of one sector before giving up
NAME_LENGTH         equ 11       ; the name as stored: "KERNEL  BIN"
ATTRIBUTES          equ 11       ; offsets in a 32-byte directory entry
FIRST_CLUSTER_HIGH  equ 20
FIRST_CLUSTER_LOW   equ 26
FILE_SIZE           equ 28
LABEL_OR_DIRECTORY  equ 0x18     ; long-name entries carry the label bit too
LAST_CLUSTER        equ 0x0FFFFFF6 ; above it: bad cluster, end of chain

        jmp short start          ; EB 58: lands on offset 90
        nop
        db "TOLMARIX"            ; OEM name, offsets 3-10
        times 90 - ($ - $$) db 0 ; the volume's parameter block goes here

start:                           ; offset 90
        jmp 0:.normalised        ; some BIOSes enter at 07C0:0000
.normalised:
        xor ax, ax
        mov ds, ax
        mov es, ax
        mov bp, 0x7C00
        mov ss, ax               ; no interrupt comes between these two
        mov sp, bp
        cld
        mov [bp + DRIVE], dl

        ; The FAT in use: the first after the reserved sectors, or the one
        ; the flags name.
        movzx ebx, word [bp + RESERVED_SECTORS]
        mov eax, [bp + SECTORS_PER_FAT]
        movzx ecx, byte [bp + FAT_FLAGS]
        btr cx, 7
        jnc .mirrored
        and cl, 0x0F
        imul ecx, eax
        add ebx, ecx
.mirrored:
        mov [bp + FAT_START], ebx
        ; The data area follows every FAT.
        movzx ecx, byte [bp + NUMBER_OF_FATS]
        imul eax, ecx
        movzx ebx, word [bp + RESERVED_SECTORS]
        add eax, ebx
        mov [bp + DATA_START], eax

        ; Look through the root directory's chain, one sector at a time.
        mov esi, [bp + ROOT_CLUSTER]
.directory_cluster:
        call first_sector
        jnc no_kernel            ; the chain ended: no KERNEL.BIN in it
.directory_sector:
        mov bx, DIRECTORY
        call read_sector
        mov di, bx
.entry:
        mov si, kernel_name
        mov cx, NAME_LENGTH
        cmp [di], ch             ; an entry that starts with 0 ends the directory
        je no_kernel
        push di
        repe cmpsb               ; a deleted entry starts E5, so never matches
        pop di
        jne .next_entry
        test byte [di + ATTRIBUTES], LABEL_OR_DIRECTORY
        jnz .next_entry
        ; Whole sectors to load less one, 0 to 1023: (size - 1) / 512. An
        ; empty file wraps round to a huge size and is passed over too.
        mov ecx, [di + FILE_SIZE]
        dec ecx
        shr ecx, 9
        cmp ecx, MAX_KERNEL_SECTORS - 1
        jbe found
.next_entry:
        add di, 32
        jns .entry
        inc eax
        dec dx
        jnz .directory_sector
        mov esi, [bp + CLUSTER]  ; comparing the names took SI
        call next_cluster
        jmp .directory_cluster

no_kernel:
        mov si, no_kernel_text
; Writes the text at SI, up to its line feed, to the screen and to COM1,
; then halts.
fail:
        mov ax, 0x00E3           ; COM1: 9600 baud, 8 bits, no parity, 1 stop
        cwd                      ; DX = 0, COM1, kept by both BIOS calls below
        int 0x14
.char:
        lodsb
        mov ah, 0x01             ; send AL on COM1; AL is kept
        int 0x14
        mov ah, 0x0E             ; teletype output, on page 0
        mov bh, 0
        int 0x10
        cmp al, 10
        jne .char
.halt:
        hlt
        jmp .halt

found:
        ; The first cluster, in two halves; CX = sectors still to load after
        ; the next one, ES:0 = where it goes. Loading stops after the file's
        ; size; a chain that ends before it is a disk error.
        push word [di + FIRST_CLUSTER_HIGH]
        push word [di + FIRST_CLUSTER_LOW]
        pop esi
        push KERNEL_SEGMENT
        pop es
        xor bx, bx
.cluster:
        call first_sector
        jnc disk_error
.sector:
        call read_sector
        mov di, es
        add di, 512 / 16
        mov es, di
        jcxz run_kernel
        dec cx
        inc eax
        dec dx
        jnz .sector
        call next_cluster
        jmp .cluster

run_kernel:
        mov dl, [bp + DRIVE]
        jmp KERNEL_SEGMENT:0

; ESI = a cluster: EAX = its first sector, DX = sectors per cluster, and
; the carry set; the carry clear when ESI is no cluster (a free or bad
; entry, or the end of a chain). Keeps the cluster at CLUSTER.
first_sector:
        mov [bp + CLUSTER], esi
        lea eax, [esi - 2]
        cmp eax, LAST_CLUSTER - 1
        jnc .done
        movzx edx, byte [bp + SECTORS_PER_CLUSTER]
        imul eax, edx
        add eax, [bp + DATA_START]
        stc
.done:
        ret

; ESI = a cluster: ESI = the next, from its 32-bit FAT entry, read into
; ES:BX, where the next sector will go.
next_cluster:
        lea eax, [esi * 4]
        mov di, ax
        and di, 511
        shr eax, 9
        add eax, [bp + FAT_START]
        call read_sector
        mov esi, [es:bx + di]
        and esi, 0x0FFFFFFF
        ret

; Reads sector EAX of the volume into ES:BX by the extended read (int 13h
; AH=42h), trying TRIES times with a reset of the drive in between. Keeps
; every register. A volume whose sectors are not 512 bytes is refused
; before anything is read: its high byte is 2 for 512, and 4 or more for
; every other size FAT allows.
read_sector:
        cmp byte [bp + BYTES_PER_SECTOR + 1], 512 >> 8
        jne disk_error
        pushad
        add eax, [bp + HIDDEN_SECTORS]
        mov di, TRIES
.try:
        pushad
        mov di, sp               ; the stack as it is before the packet
        ; The packet, built on the stack: size 16, one sector, the buffer
        ; as offset then segment, and the 64-bit sector number.
        push dword 0
        push eax
        push es
        push bx
        push byte 1
        push byte 16
        mov si, sp
        mov ah, 0x42
        mov dl, [bp + DRIVE]
        int 0x13
        mov sp, di               ; leaves the carry flag as it is
        jnc .ok
        xor ax, ax               ; reset the drive in DL, then try again
        int 0x13
        popad                    ; EAX = sector again
        dec di
        jnz .try
        jmp disk_error
.ok:
        popad
        popad
        ret

disk_error:
        mov si, disk_error_text
        jmp fail

kernel_name:     db "KERNEL  BIN"
no_kernel_text:  db "No KERNEL.BIN", 13, 10
disk_error_text: db "Disk error", 13, 10

free_bytes      equ 510 - ($ - $$)
        times free_bytes db 0
        dw 0xAA55                ; boot signature
