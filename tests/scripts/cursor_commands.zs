# Cursors: moving, reading and writing records as text, adding records
# from text, the rows' files, and handles that are gone.
Init => ""
db = Database_Create "$tmp/cursors.vdb"
Database_SqlExecute $db "CREATE TABLE item (name String(20), qty Long, pic Picture)" => 0
Database_SqlExecute $db "CREATE TABLE pair (a String(10), b Long)" => 0
Database_SqlExecute $db "INSERT INTO item VALUES ('bolt', 10, NULL)" => 0
Database_SqlExecute $db "INSERT INTO item VALUES ('nut', 20, NULL)" => 0
Database_SqlExecute $db "INSERT INTO item VALUES ('gear', 30, NULL)" => 0

# Random access over three rows: the position is 1 after the select, and
# a step back from 1 leaves it at 0, where no record is current.
c = DataBase_SQLSelect $db "SELECT name, qty FROM item" 1 1 2
Cursor_GetPosition $c => 1
Cursor_GetRecordCount $c => 3
Cursor_GetFieldCount $c => 2
Cursor_GetFieldName $c 2 => qty
Cursor_GetFieldName $c 0 => "ERROR 525"
Cursor_GetFieldName $c 3 => "ERROR 525"
Cursor_GetField $c name => bolt
Cursor_GetField $c 2 => 10
Cursor_GetField $c NAME => bolt
Cursor_GetField $c price => "ERROR 525"
Cursor_GetRecord $c => "bolt\t10"
Cursor_PrevRecord $c => FALSE
Cursor_GetPosition $c => 0
Cursor_GetRecord $c => "ERROR 362"
Cursor_FirstRecord $c => TRUE
Cursor_NextRecord $c => TRUE
Cursor_GetPosition $c => 2
Cursor_GetRecord $c "" , => "nut,20"
Cursor_LastRecord $c => TRUE
Cursor_GetPosition $c => 3
Cursor_NextRecord $c => FALSE
Cursor_FirstRecord $c => TRUE
Cursor_GetField $c name => bolt
Cursor_GoToRecord $c 3 => TRUE
Cursor_GetField $c qty => 30
Cursor_GoToRecord $c 4 => FALSE
Cursor_GetPosition $c => 0
Cursor_GetRecord $c 2 ; => "nut;20"
Cursor_GetRecord $c 9 => "ERROR 362"
Cursor_GetRecords $c => "bolt\t10\nnut\t20\ngear\t30"
Cursor_GetRecords $c 2 => "nut\t20\ngear\t30"
Cursor_GetRecords $c 1 2 => "bolt\t10\nnut\t20"
Cursor_GetRecords $c 1 0 => ""
Cursor_GetRecords $c 5 => ""
Cursor_GetRecords $c 1 -1 , | => "bolt,10|nut,20|gear,30"

# A cursor's fields have field handles.
q = Cursor_GetFieldRef $c qty
Cursor_GetFieldRef $c 2 => $q
Cursor_GetFieldRef $c 0 => "ERROR 525"
Field_GetType $q => Long
Field_GetName $q => qty
Cursor_GoToRecord $c 2 => TRUE
Field_GetValue $q => 20

# Writing through the cursor changes the base records.
Cursor_SetField $c qty 21 => ""
Cursor_UpdateRecord $c => TRUE
Database_SQLSelectRecords $db "SELECT qty FROM item WHERE name = 'nut'" => 21
Cursor_SetField $c nothing 1 => "ERROR 525"
Cursor_DeleteRecord $c 4 => FALSE
Database_SQLSelectRecords $db "SELECT count(*) FROM item" => 3
Cursor_DeleteRecord $c 1 => TRUE
Database_SQLSelectRecords $db "SELECT name FROM item" => "nut\ngear"
Cursor_DropRecord $c 99 => ""
Cursor_DropRecord $c => ""
Cursor_Remove $c => ""

# Pictures: only checks.
p = DataBase_SQLSelect $db "SELECT name, pic FROM item"
Cursor_GetPicture $p pic => ""
Cursor_SetPicture $p pic 1 => ""
Cursor_GetPicture $p name => "ERROR 310"
Cursor_SetPicture $p none 1 => "ERROR 525"

# A read-only cursor (the default) adds nothing and refuses changes.
Cursor_AddRecords $p "x" => FALSE
Cursor_UpdateRecord $p => "ERROR 605"
Cursor_DeleteAllRecords $p => "ERROR 605"
Database_SQLSelectRecords $db "SELECT count(*) FROM item" => 2
Cursor_Remove $p => ""

# Records from text: a TAB b LF c TAB d makes two; a short line leaves
# the rest blank; a long line goes on as the next record.
w = DataBase_SQLSelect $db "SELECT a, b FROM pair" 1 1 2
Cursor_AddRecords $w "a\t1\nc\t2" => TRUE
# The cursor's record is a batch's last, read back from the table.
Cursor_GetRecord $w => "c\t2"
Cursor_AddRecords $w "e\n" => TRUE
Cursor_AddRecords $w "g,3,h,4" , => TRUE
Cursor_GetRecord $w => "h\t4"
Cursor_AddRecord $w "i;5|j;6" ; | => TRUE
Cursor_AddRecords $w => "ERROR 310"
Database_SQLSelectRecords $db "SELECT a, b FROM pair" => "a\t1\nc\t2\ne\t0\ng\t3\nh\t4\ni\t5\nj\t6"
Cursor_SetBlank $w => ""
Cursor_SetField $w a k => ""
Cursor_SetField $w b 7 => ""
Cursor_AddRecord $w => TRUE
Database_SQLSelectRecords $db "SELECT count(*) FROM pair" => 8
Cursor_Remove $w => ""

# Every record of a cursor at once.
u = DataBase_SQLSelect $db "SELECT b FROM pair WHERE b > 5" 1 1 2
Cursor_GetRecordCount $u => 2
Cursor_SetField $u b 60 => ""
Cursor_UpdateAllRecords $u => TRUE
Database_SQLSelectRecords $db "SELECT a, b FROM pair WHERE b = 60" => "j\t60\nk\t60"

# The rows to a file and back in through another cursor.
Cursor_ExportASCII $u "$tmp/rows.txt" => ""
Cursor_DeleteAllRecords $u => TRUE
Database_SQLSelectRecords $db "SELECT count(*) FROM pair WHERE b = 60" => 0
i = DataBase_SQLSelect $db "SELECT b FROM pair" 1 1 2
Cursor_ImportASCII $i "$tmp/rows.txt" => ""
Database_SQLSelectRecords $db "SELECT count(*) FROM pair WHERE b = 60" => 2
Cursor_ImportASCII $i "$tmp/none.txt" => "ERROR 322"
Cursor_Remove $u => ""
Cursor_Remove $i => ""

# A cursor whose table is dropped keeps its handle but has no rows or
# fields; its field handles are gone.
d = DataBase_SQLSelect $db "SELECT a FROM pair" 1 1 2
g = Cursor_GetFieldRef $d a
Database_SqlExecute $db "DROP TABLE pair" => 0
Cursor_IsValid $d => TRUE
Cursor_GetRecordCount $d => 0
Cursor_GetFieldCount $d => 0
Cursor_GetField $d a => "ERROR 525"
Field_GetName $g => "ERROR 392"
Cursor_FirstRecord $d => FALSE
Cursor_Remove $d => ""

# A field a cursor reads removed or retyped under it: the cursor is gone
# as for a dropped table (its moves FALSE, its changes 323), never a read
# of the field that went.
Database_SqlExecute $db "CREATE TABLE late (x Long, y String(8))" => 0
Database_SqlExecute $db "INSERT INTO late VALUES (1, 'one')" => 0
Database_SqlExecute $db "INSERT INTO late VALUES (2, 'two')" => 0
l = Database_GetBaseObjectRef $db late
r1 = DataBase_SQLSelect $db "SELECT x, y FROM late" 1 1 2
r2 = DataBase_SQLSelect $db "SELECT x, y FROM late" 1 1 2
r3 = DataBase_SQLSelect $db "SELECT x FROM late" 1 1 2
BaseObject_RemoveField $l y => ""
Cursor_IsValid $r1 => TRUE
Cursor_NextRecord $r1 => FALSE
Cursor_GetRecordCount $r1 => 0
Cursor_GetRecord $r1 1 => "ERROR 362"
Cursor_GetField $r1 x => "ERROR 525"
Cursor_UpdateRecord $r1 => "ERROR 323"
Cursor_GetRecords $r3 => "1\n2"
Database_SqlExecute $db "ALTER TABLE late ADD z Long" => 0
BaseObject_ChangeFieldType $l x Double => ""
Cursor_GetRecords $r3 => ""
Cursor_Remove $r1 => ""
Cursor_Remove $r2 => ""
Cursor_Remove $r3 => ""
Database_SQLSelectRecords $db "SELECT x, z FROM late" => "1\t0\n2\t0"

# Records as text read the same through a script's cursor as through the
# command's own, which reads the columns with no field wrappers: every type
# with a text form, and nulls.
Database_SqlExecute $db "CREATE TABLE kinds (b Boolean, y Byte, u UShort, m Medium, l ULong, f Float, d Double, dt Date, t Time, s VarChar(20), x Text)" => 0
Database_SqlExecute $db "INSERT INTO kinds VALUES (TRUE, 200, 65000, -5, 4000000000, 1.5, 0.1, '12/31/2026', '13:45:10', 'v', 'long text')" => 0
Database_SqlExecute $db "INSERT INTO kinds VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)" => 0
k = DataBase_SQLSelect $db "SELECT * FROM kinds" 1 1 2
rows = Cursor_GetRecords $k
Database_SQLSelectRecords $db "SELECT * FROM kinds" => "$rows"
Database_SQLSelectRecords $db "SELECT * FROM kinds" 1 1 => "TRUE\t200\t65000\t-5\t4000000000\t1.5\t0.1\t12/31/2026\t13:45:10\tv\tlong text"
Database_SQLSelectRecords $db "SELECT * FROM kinds" 2 => "FALSE\t0\t0\t0\t0\t0\t0\t\t\t\t"
Cursor_Remove $k => ""

# Bad cursor handles: zero 310 (moves too), others 393, at every level.
Cursor_FirstRecord 0 => "ERROR 310"
Cursor_GetRecordCount => "ERROR 310"
Cursor_GetRecordCount $db => "ERROR 393"
Cursor_NextRecord -3 => "ERROR 393"
SetDebugLevel 1 => ""
Cursor_GetRecordCount 2147483647 => "ERROR 393"
Cursor_IsValid 2147483647 => FALSE
SetDebugLevel 0 => ""
Database_Close $db => ""
ShutDown => ""
