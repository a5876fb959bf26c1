# BLOB, binary and picture values: memory blocks, host variables, bitmaps.
Init => ""
db = Database_Create "$tmp/blobs.vdb"
t = Database_MakeNewBaseObject $db Files
b = BaseObject_MakeNewField $t Data BLOB 512
c = BaseObject_MakeNewField $t Copy BLOB
x = BaseObject_MakeNewField $t Words Text
p = BaseObject_MakeNewField $t Photo Picture
vb = BaseObject_MakeNewField $t Raw VarBinary 8
n = BaseObject_MakeNewField $t Count Long
Field_GetSegmentSize $b => 512
BLOB_GetDataSize $b => 0

# Host variables come and go binary-safe: zero bytes included.
.set bin "a\x00b\x00c"
Binary_WriteData $b bin => ""
BLOB_GetDataSize $b => 5
Binary_ReadData $b back => ""
Binary_WriteData $c back => ""
BLOB_GetDataSize $c => 5
Binary_ReadData $b part 2 3 => ""
Binary_WriteData $c part 5 => ""
BLOB_GetDataSize $c => 7
Binary_WriteData $c nosuchvariable => "ERROR 310"
Binary_WriteData $c => "ERROR 310"
Binary_ReadData $n v => "ERROR 310"
Binary_WriteData $n bin => "ERROR 310"
.set long "0123456789"
Binary_WriteData $vb long => ""
Binary_ReadData $vb got => ""
EscapeString $got => 01234567

# Memory blocks: every access checked against the block's size.
buf = MemBuffer_Allocate 5
BLOB_ReadData $b $buf 5 => ""
BLOB_WriteData $c $buf 5 => ""
BLOB_GetDataSize $c => 7
BLOB_WriteData $c $buf 5 10 => ""
BLOB_GetDataSize $c => 15
BLOB_ReadData $b $buf 6 => "ERROR 310"
BLOB_WriteData $b $buf 6 => "ERROR 310"
BLOB_ReadData $b 0 1 => "ERROR 310"
BLOB_ReadData $b 77777 1 => "ERROR 310"
BLOB_ReadData $b $buf -1 => "ERROR 310"
BLOB_ReadData $b $buf 5 -1 => "ERROR 310"
BLOB_ReadData $b $buf 5 100 => ""
BLOB_ReadData $b $db 1 => "ERROR 310"
BLOB_DeleteData $c => ""
BLOB_GetDataSize $c => 0
MemBuffer_Free $buf => ""
BLOB_ReadData $b $buf 1 => "ERROR 310"

# Texts are BLOBs too; other types are not.
Field_SetValue $x "some words" => ""
BLOB_GetDataSize $x => 10
BLOB_GetDataSize $n => "ERROR 310"
BLOB_DeleteData $n => "ERROR 310"
BLOB_GetDataSize => "ERROR 310"
BLOB_GetDataSize 0 => "ERROR 310"
BLOB_GetDataSize 99999 => "ERROR 392"

# Pictures: a 2 x 1 bitmap of 24 bits in, a new bitmap block out.
.save "$tmp/p.bmp" "\x28\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00\x01\x00\x18\x00\x00\x00\x00\x00\x08\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\xff\x00\x00\x00\xff\x00\x00\x00"
.load bmp "$tmp/p.bmp"
Binary_WriteData $c bmp => ""
BLOB_GetDataSize $c => 48
bmpbuf = MemBuffer_Allocate 48
BLOB_ReadData $c $bmpbuf 48 => ""
Picture_Get $p => 0
Picture_Set $p $bmpbuf 90 => ""
got = Picture_Get $p
MemBuffer_Free $got => ""
MemBuffer_Free $got => "ERROR 310"
Picture_Set $p $bmpbuf => ""
Picture_Set $b $bmpbuf => "ERROR 310"
Picture_Get $b => "ERROR 310"
empty = MemBuffer_Allocate 48
Picture_Set $p $empty => "ERROR 310"
Picture_Set $p 0 => "ERROR 310"
Picture_Set $p => "ERROR 310"
ShutDown => ""
