; A sample boot program for tolmarix that loads a kernel: it finds KERNEL.BIN
; in the root directory of the FAT12 or FAT16 volume it was booted from,
; loads the whole file at 1000:0000 and jumps there with DL = the BIOS drive
; number it was booted with.
;
;   nasm -f bin -o fat_loader.bin fat_loader.asm
;
; Everything it knows about the volume comes from the parameter block that
; tolmarix keeps at offsets 11-61 of this sector, so the same binary boots any
; FAT12 or FAT16 floppy, disk image or partition. It needs a 386 or later.
;
; How a FAT volume is laid out, in sectors from the start of the volume:
;
;   reserved sectors   this boot sector, and maybe more
;   the FATs           number of FATs x sectors per FAT
;   root directory     root entries x 32 bytes, rounded up to whole sectors
;   data area          clusters 2, 3, 4 ... of sectors-per-cluster each
;
; A file's directory entry names its first cluster; the FAT entry of each
; cluster names the next one. FAT12 packs entries into 12 bits (one and a
; half bytes), FAT16 into 16. A volume with fewer than 4085 clusters is
; FAT12; the type text at offset 54 is only a label and is never read. The
; total is the 16-bit count when that is not 0, and the 32-bit one otherwise:
; a formatter may leave a value in both. An entry whose first byte is 0 ends
; the directory; no entry after it counts, whatever it holds.
;
; Volumes inside a partition count their sectors from the partition's start;
; the hidden-sectors field says where that is on the disk, and every read
; adds it.
;
; On failure it writes "No KERNEL.BIN" (no such file of 1 byte to 512 KiB in
; the root directory) or "Disk error" (a read failed five times, or the
; volume's sectors are not 512 bytes), to the screen and to COM1, and halts.

bits 16
cpu 386
org 0x7C00

; The parameter block, as offsets from BP = 0x7C00.
BYTES_PER_SECTOR    equ 11       ; word, must be 512
SECTORS_PER_CLUSTER equ 13       ; byte
RESERVED_SECTORS    equ 14       ; word
NUMBER_OF_FATS      equ 16       ; byte
ROOT_ENTRIES        equ 17       ; word
TOTAL_SECTORS_16    equ 19       ; word, 0 when the total needs 32 bits
SECTORS_PER_FAT     equ 22       ; word
SECTORS_PER_TRACK   equ 24       ; word
NUMBER_OF_HEADS     equ 26       ; word
HIDDEN_SECTORS      equ 28       ; dword, where the volume starts on the disk
TOTAL_SECTORS_32    equ 32       ; dword, counts only when the 16-bit one is 0

; Our own variables live where the OEM name was, once we are running.
DATA_START          equ 3        ; dword, first sector of cluster 2
DRIVE               equ 7        ; byte, the BIOS drive we booted from
EXTENSIONS          equ 8        ; byte, bit 0 set when packet reads work
FAT12               equ 9        ; byte, 1 on a FAT12 volume

DIRECTORY           equ 0x7E00   ; one sector of the root directory; it
                                 ; ends at 0x8000, where DI turns negative
KERNEL_SEGMENT      equ 0x1000   ; the kernel loads at linear 0x10000
MAX_KERNEL_SECTORS  equ 1024     ; 512 KiB, up to linear 0x90000
TRIES               equ 5        ; reads of one sector before giving up
NAME_LENGTH         equ 11       ; the name as stored: "KERNEL  BIN"
ATTRIBUTES          equ 11       ; offsets in a 32-byte directory entry
FIRST_CLUSTER       equ 26
FILE_SIZE           equ 28
LABEL_OR_DIRECTORY  equ 0x18     ; long-name entries carry the label bit too

        jmp short start          ; tolmarix writes EB 3C 90 here: to offset 62
        nop
        db "TOLMARIX"            ; OEM name, offsets 3-10
        times 62 - ($ - $$) db 0 ; the volume's parameter block goes here

start:                           ; offset 62
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

        ; Packet reads (int 13h, AH=42h) take a 64-bit sector number. Disks
        ; need them: the geometry in a disk image's parameter block need not
        ; be the one the BIOS uses. Floppies don't have them, so CHS from
        ; the parameter block is the fallback. With them, BX comes back as
        ; AA55 and CL bit 0 says the packet functions are there; a BIOS
        ; without them leaves BX as 55AA, and BL = AA has bit 0 clear.
        mov ah, 0x41
        mov bx, 0x55AA
        int 0x13
        and cl, bl
        mov [bp + EXTENSIONS], cl

        ; EAX = first sector of the root directory: reserved + FATs.
        mov al, [bp + NUMBER_OF_FATS]
        cbw
        mul word [bp + SECTORS_PER_FAT]
        add ax, [bp + RESERVED_SECTORS]
        adc dx, 0
        push dx
        push ax
        pop eax
        ; DX = sectors of the root directory, 16 entries of 32 bytes each;
        ; the data area follows.
        movzx edx, word [bp + ROOT_ENTRIES]
        add dx, 15
        shr dx, 4
        lea ebx, [eax + edx]
        mov [bp + DATA_START], ebx
        ; ECX = total sectors: the 16-bit field, or the 32-bit one when it
        ; is 0. INC then LOOP jumps unless CX was 0, and leaves it as it was.
        movzx ecx, word [bp + TOTAL_SECTORS_16]
        inc cx
        loop .total
        mov ecx, [bp + TOTAL_SECTORS_32]
.total:
        ; Fewer than 4085 clusters is FAT12: data sectors < 4085 x cluster.
        sub ecx, ebx
        movzx esi, byte [bp + SECTORS_PER_CLUSTER]
        imul esi, esi, 4085
        cmp ecx, esi
        setb [bp + FAT12]

        ; Look through the root directory, one sector at a time: EAX is the
        ; sector, DX the number left.
.directory_sector:
        dec dx
        js no_kernel
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
        jmp .directory_sector

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
        ; SI = cluster, CX = sectors still to load after the next one, ES:0
        ; = where it goes. Loading stops after the file's size, whatever the
        ; chain.
        movzx esi, word [di + FIRST_CLUSTER]
        push KERNEL_SEGMENT
        pop es
        xor bx, bx
.cluster:
        ; The cluster's first sector: data start + (cluster - 2) x size.
        lea eax, [esi - 2]
        movzx edx, byte [bp + SECTORS_PER_CLUSTER]
        imul eax, edx
        add eax, [bp + DATA_START]
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

        ; The next cluster. Its FAT entry is at byte cluster x 2 (FAT16) or
        ; cluster x 3 / 2 (FAT12) of the FAT. Two sectors are read, because
        ; a 12-bit entry can straddle a sector boundary, into the place the
        ; next kernel sectors will overwrite. The sector number is 32 bits
        ; wide, since a FAT16 FAT may be 128 KiB.
        mov eax, esi
        test byte [bp + FAT12], 1
        pushf
        jz .fat16
        shr eax, 1
.fat16:
        add eax, esi
        mov di, ax
        and di, 511
        shr eax, 9               ; at most 255
        add ax, [bp + RESERVED_SECTORS]
        call read_sector
        inc eax
        mov bh, 512 >> 8
        call read_sector
        mov bh, 0
        mov ax, [es:di]
        popf
        jz .next
        shr si, 1                ; odd clusters take the high 12 bits
        jnc .even
        shr ax, 4
.even:
        and ah, 0x0F
.next:
        xchg si, ax
        jmp .cluster

run_kernel:
        mov dl, [bp + DRIVE]
        jmp KERNEL_SEGMENT:0

; Reads sector EAX of the volume into ES:BX, trying TRIES times with a
; reset of the drive in between. Keeps every register. A volume whose
; sectors are not 512 bytes is refused before anything is read: its high
; byte is 2 for 512, and 4 or more for every other size FAT allows.
read_sector:
        cmp byte [bp + BYTES_PER_SECTOR + 1], 512 >> 8
        jne .error
        pushad
        add eax, [bp + HIDDEN_SECTORS]
        mov di, TRIES
.try:
        pushad
        mov di, sp               ; the stack as it is before the packet
        test byte [bp + EXTENSIONS], 1
        jz .chs
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
        jmp .call
.chs:
        ; sector = LBA mod per-track + 1; track = LBA / per-track;
        ; head = track mod heads; cylinder = track / heads.
        shld edx, eax, 16        ; DX:AX = LBA
        div word [bp + SECTORS_PER_TRACK]
        mov cx, dx
        inc cx
        xor dx, dx
        div word [bp + NUMBER_OF_HEADS]
        mov dh, dl
        mov ch, al               ; cylinder bits 0-7
        shl ah, 6
        or cl, ah                ; cylinder bits 8-9 above the sector
        mov ax, 0x0201           ; read one sector
.call:
        mov dl, [bp + DRIVE]
        int 0x13
        mov sp, di               ; leaves the carry flag as it is
        jnc .ok
        xor ax, ax               ; reset the drive in DL, then try again
        int 0x13
        popad                    ; EAX = sector again
        dec di
        jnz .try
.error:
        mov si, disk_error
        jmp fail
.ok:
        popad
        popad
        ret

kernel_name:    db "KERNEL  BIN"
no_kernel_text: db "No KERNEL.BIN", 13, 10
disk_error:     db "Disk error", 13, 10

free_bytes      equ 510 - ($ - $$)
        times free_bytes db 0
        dw 0xAA55                ; boot signature
