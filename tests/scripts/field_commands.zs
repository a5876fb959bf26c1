# Field values as text, by type, and the field's own properties.
Init => ""
db = Database_Create "$tmp/fields.vdb"
t = Database_MakeNewBaseObject $db Values

# Numbers: "%li" and "%lu"; Byte and UShort unsigned, Short and Medium signed.
f = BaseObject_MakeNewField $t Bt Byte
Field_SetValue $f 200 => ""
Field_GetValue $f => 200
f = BaseObject_MakeNewField $t Sh Short
Field_SetValue $f -5 => ""
Field_GetValue $f => -5
f = BaseObject_MakeNewField $t Us UShort
Field_SetValue $f 65535 => ""
Field_GetValue $f => 65535
f = BaseObject_MakeNewField $t Md Medium
Field_SetValue $f -8388608 => ""
Field_GetValue $f => -8388608
f = BaseObject_MakeNewField $t Um UMedium
Field_SetValue $f 16777215 => ""
Field_GetValue $f => 16777215
f = BaseObject_MakeNewField $t Ul ULong
Field_SetValue $f 4294967295 => ""
Field_GetValue $f => 4294967295
other = Database_MakeNewBaseObject $db Other
f = BaseObject_MakeNewField $t Op ObjectPtr $other
Field_SetValue $f 7 => ""
Field_GetValue $f => 7

# Floating point: "%g" and "%.16LG".
f = BaseObject_MakeNewField $t Fl Float
Field_SetValue $f 1.5 => ""
Field_GetValue $f => 1.5
Field_SetValue $f 1e20 => ""
Field_GetValue $f => 1e+20
d = BaseObject_MakeNewField $t Db Double
Field_SetValue $d 0.33333333333333333 => ""
Field_GetValue $d => 0.3333333333333333
Field_SetValue $d 0.1 => ""
Field_GetValue $d => 0.1
Field_SetValue $d 1e20 => ""
Field_GetValue $d => 1E+20

# Booleans, strings (cut to the declared length) and whole texts.
f = BaseObject_MakeNewField $t Bo Boolean
Field_GetValue $f => FALSE
Field_SetValue $f 1 => ""
Field_GetValue $f => TRUE
f = BaseObject_MakeNewField $t St String 5
Field_SetValue $f "abcdefgh" => ""
Field_GetValue $f => abcde
f = BaseObject_MakeNewField $t Vc VarChar 100
Field_SetValue $f "two words" => ""
Field_GetValue $f => "two words"
x = BaseObject_MakeNewField $t Tx Text
Field_SetValue $x "a text longer than any string field would keep in its place" => ""
Field_GetValue $x => "a text longer than any string field would keep in its place"

# Dates and times by the database's order and separators.
dt = BaseObject_MakeNewField $t Dt Date
Field_SetValue $dt 2/29/2004 => ""
Field_GetValue $dt => 02/29/2004
Database_SetDateFormat $db 2 - => ""
Field_GetValue $dt => 2004-02-29
Field_SetValue $dt 1999-12-31 => ""
Field_GetValue $dt => 1999-12-31
tm = BaseObject_MakeNewField $t Tm Time
Field_SetValue $tm 13:45:10 => ""
Field_GetValue $tm => 13:45:10
f = BaseObject_MakeNewField $t Dtm DateTime
Field_SetValue $f "2004-02-29 13:45:10" => ""
Field_GetValue $f => "2004-02-29 13:45:10"

# A null Date reads empty, a null Long reads 0.
Field_SetFlag $dt 4 1 => ""
Field_SetBlank $dt => ""
Field_IsNull $dt => TRUE
Field_GetValue $dt => ""
l = BaseObject_MakeNewField $t Ln Long
Field_SetFlag $l 4 TRUE => ""
Field_SetValue $l 12 => ""
Field_IsNull $l => FALSE
Field_SetBlank $l => ""
Field_IsNull $l => TRUE
Field_GetValue $l => 0

# No text form: LLong, ULLong, BLOB and Picture read empty and refuse text.
f = BaseObject_MakeNewField $t Ll LLong
Field_GetValue $f => ""
Field_SetValue $f 5 => "ERROR 310"
Field_GetValue $f => ""
f = BaseObject_MakeNewField $t Ull ULLong
Field_SetValue $f 5 => "ERROR 310"
f = BaseObject_MakeNewField $t Bl BLOB
Field_GetValue $f => ""
Field_SetValue $f abc => "ERROR 310"
f = BaseObject_MakeNewField $t Pc Picture
Field_GetValue $f => ""

# Binary values: length bytes of the text (never past its end); read back
# through a variable (EscapeString shows it as it is).
fb = BaseObject_MakeNewField $t Fb FixedBinary 10
Field_SetValue $fb abc 2 => ""
Binary_ReadData $fb got => ""
EscapeString $got => ab
Field_SetValue $fb xyz => ""
Binary_ReadData $fb got => ""
EscapeString $got => ab
Field_SetValue $fb abc 99 => ""
Binary_ReadData $fb got => ""
EscapeString $got => abc
buf = MemBuffer_Allocate 4
Field_GetValue $fb $buf 4 => ""
Field_GetValue $fb $buf 5 => "ERROR 310"
Field_GetValue $fb 123456 4 => "ERROR 310"
Field_GetValue $fb $buf -1 => "ERROR 310"
Field_GetLength $fb => 10
Field_GetValue $fb => ""

# Flags: script bits 1 indexed, 2 unique, 4 nullable.
i = BaseObject_MakeNewField $t Ix Long
Field_SetFlag $i 5 TRUE => ""
Field_GetFlag $i 5 => TRUE
Field_GetFlag $i 7 => FALSE
Field_GetFlag $i 1 => TRUE
Field_SetFlag $i 1 FALSE => ""
Field_GetFlag $i 1 => FALSE
Field_GetFlag $i 4 => TRUE

# Properties by type; 310 for types without them.
Field_GetName $i => Ix
Field_GetType $i => Long
Field_GetType $fb => FixedBinary
Field_GetLength $i => "ERROR 310"
Field_GetLanguage $i => "ERROR 310"
Field_GetLanguage $x => ASCII
Field_GetSegmentSize $x => 1024
Field_GetSegmentSize $i => 0
Field_GetTarget $i => "ERROR 525"
Field_GetDeletionControl $i => "ERROR 525"
Field_GetMethod $i => ""

# A calculated field computes its value before it is read.
m = BaseObject_MakeNewField $t Twice Long 0 "" "Ln * 2"
Field_SetValue $l 21 => ""
Field_GetValue $m => 42
Field_GetFlag $m 16 => TRUE

# Field handles: absent or zero 525, others that name no field 392.
Field_GetName => "ERROR 525"
Field_GetName 0 => "ERROR 525"
Field_GetName -3 => "ERROR 392"
Field_GetName $t => "ERROR 392"
Field_GetName 2147483647 => "ERROR 392"
ShutDown => ""
Field_GetName $i => "ERROR 392"
