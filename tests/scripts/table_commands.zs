# Tables: names, fields by number and by name, schema changes.
Init => ""
db = Database_Create "$tmp/tables.vdb"
t = Database_MakeNewBaseObject $db Things
other = Database_MakeNewBaseObject $db Others
BaseObject_GetRecordCount $t => 0
BaseObject_GetFieldCount $t => 0

a = BaseObject_MakeNewField $t Amount Long
n = BaseObject_MakeNewField $t Name string 12
v = BaseObject_MakeNewField $t Note VarChar 0 ASCII
p = BaseObject_MakeNewField $t Owner ObjectPtr $other
BaseObject_MakeNewField $t Amount Long => "ERROR 346"
BaseObject_MakeNewField $t Bad NoSuchType => "ERROR 349"
BaseObject_MakeNewField $t Bad => "ERROR 349"
BaseObject_MakeNewField $t => "ERROR 310"
BaseObject_MakeNewField $t Bad String 10 Klingon => "ERROR 350"
BaseObject_MakeNewField $t Bad ObjectPtr 77 => "ERROR 391"
BaseObject_MakeNewField $t Bad String -4 => "ERROR 310"
BaseObject_GetFieldCount $t => 4

# Fields by 1-based number or by name without case; 525 otherwise.
BaseObject_GetFieldName $t 1 => Amount
BaseObject_GetFieldName $t 4 => Owner
BaseObject_GetFieldName $t 0 => "ERROR 525"
BaseObject_GetFieldName $t 5 => "ERROR 525"
BaseObject_GetFieldName $t -1 => "ERROR 525"
BaseObject_GetFieldRef $t name => $n
BaseObject_GetFieldRef $t 2 => $n
BaseObject_GetFieldRef $t 65538 => $n
BaseObject_GetFieldRef $t 65536 => "ERROR 525"
BaseObject_GetFieldRef $t Nothing => "ERROR 525"
BaseObject_GetFieldRef $t => "ERROR 525"
Field_GetTarget $p => Others
Field_GetLength $n => 12
Field_GetLength $v => 504

# Renaming, retyping and lengths; a field keeps its handle through a type change.
BaseObject_ChangeName $t Stuff => ""
Database_GetBaseObjectName $db 1 => Stuff
BaseObject_ChangeName $t Others => "ERROR 501"
BaseObject_ChangeName $t => "ERROR 310"
BaseObject_ChangeFieldName $t Amount Total => ""
Field_GetName $a => Total
BaseObject_ChangeFieldName $t Total Name => "ERROR 346"
BaseObject_ChangeFieldType $t Total Double => ""
Field_GetType $a => Double
BaseObject_ChangeFieldType $t Total Nonsense => "ERROR 310"
Field_GetType $a => Double
BaseObject_ChangeFieldLength $t Name 30 => ""
Field_GetLength $n => 30
BaseObject_ChangeFieldLength $t Total 30 => "ERROR 310"
BaseObject_ChangeFieldLanguage $t Name German => ""
Field_GetLanguage $n => German
BaseObject_ChangeFieldLanguage $t Name Klingon => "ERROR 350"
Field_GetLanguage $n => German
BaseObject_ChangeFieldLanguage $t Total German => "ERROR 310"
BaseObject_ChangeFieldTarget $t Owner $t 1 => ""
Field_GetTarget $p => Stuff
Field_GetDeletionControl $p => 1
BaseObject_ChangeFieldTarget $t Name $t => "ERROR 310"
BaseObject_ChangeFieldTarget $t Owner 0 => "ERROR 391"
BaseObject_ChangeFieldMethod $t Note "Name" => ""
Field_GetMethod $v => Name
Field_GetFlag $v 16 => TRUE

# Removing a field renumbers the later ones and drops its handle.
BaseObject_RemoveField $t 2 => ""
BaseObject_GetFieldCount $t => 3
BaseObject_GetFieldName $t 2 => Note
Field_GetName $n => "ERROR 392"
BaseObject_RemoveField $t Name => "ERROR 525"

# The schema lasts.
Database_Close $db => ""
db = Database_Open "$tmp/tables.vdb"
t = Database_GetBaseObjectRef $db Stuff
BaseObject_GetFieldCount $t => 3
BaseObject_GetFieldName $t 1 => Total
f = BaseObject_GetFieldRef $t Total
Field_GetType $f => Double
f = BaseObject_GetFieldRef $t Owner
Field_GetTarget $f => Stuff
ShutDown => ""
