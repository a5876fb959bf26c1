# The bridge's own commands through the external function.
Version => 1.11
version => 1.11
VERSION => 1.11
SetCreator anyone => ""
Init => ""
Init 1000 => ""
ShutDown => ""

# Escapes: apostrophes always, pattern characters with the flag.
EscapeString "it's (a).b" => "it\\'s (a).b"
EscapeString "it's (a).b" 1 => "it\\'s \\(a\\)\\.b"
EscapeString "[x]?" 0 => "[x]?"
EscapeString => ""

# Unknown words; known ones without regard to case (1 names no cursor).
NoSuchCommand => "ERROR 310"
"" => "ERROR 310"
cursor_remove 1 => "ERROR 393"
# Same hash as VERSION, another word.
VERSIPL => "ERROR 310"

# Memory blocks are handles; freeing twice is an error.
buf = MemBuffer_Allocate 100
MemBuffer_Free $buf => ""
MemBuffer_Free $buf => "ERROR 310"
MemBuffer_Free 0 => "ERROR 310"
MemBuffer_Allocate -5 => "ERROR 310"
MemBuffer_Allocate 300000000 => "ERROR 311"

# Indexed calls: numbers instead of words, errors in their own slot.
.indexed 3 => "value=0 error=0 text=1.11"
.indexed 5 "a.b" 1 => "value=0 error=0 text=a\\.b"
.indexed 95 => "value=0 error=310 text="
.indexed 96 => "value=0 error=310 text="
.indexed -1 => "value=0 error=310 text="

SetDebugLevel 0 => ""
