# Databases: making, naming, settings, tables, closing and reopening.
Database_New => "ERROR 306"
Init => ""

db = Database_Create "$tmp/first.vdb" 9 100
Database_GetBaseObjectCount $db => 0
Database_GetSchemaVersion $db => 1
Database_SetSchemaVersion $db 7 => ""
Database_GetSchemaVersion $db => 7

# A database is named by its handle or by its file name, without case.
Database_GetBaseObjectCount FIRST.VDB => 0
Database_GetBaseObjectCount first.vdb => 0
Database_GetBaseObjectCount nosuch.vdb => "ERROR 510"
Database_GetBaseObjectCount => "ERROR 510"
Database_GetBaseObjectCount 999999 => "ERROR 390"
Database_GetBaseObjectCount 0 => "ERROR 390"

# Date settings: month-day-year, "/" and ":" until changed.
Database_GetDateFormat $db => 0
Database_GetDateSep $db => "/"
Database_GetTimeSep $db => ":"
Database_SetDateFormat $db 1 . - => ""
Database_GetDateFormat $db => 1
Database_GetDateSep $db => "."
Database_GetTimeSep $db => "-"
Database_SetDateFormat $db 3 / => "ERROR 310"
Database_GetDateSep $db => "."
Database_SetDateFormat $db 2 => ""
Database_GetDateSep $db => "."

# Tables by number and by name.
people = Database_MakeNewBaseObject $db People
pets = Database_MakeNewBaseObject $db Pets
Database_MakeNewBaseObject $db people => "ERROR 501"
Database_MakeNewBaseObject $db => "ERROR 310"
Database_GetBaseObjectCount $db => 2
Database_GetBaseObjectName $db 1 => People
Database_GetBaseObjectName $db 2 => Pets
Database_GetBaseObjectName $db 0 => "ERROR 323"
Database_GetBaseObjectName $db 3 => "ERROR 323"
Database_GetBaseObjectName $db -1 => "ERROR 323"
Database_GetBaseObjectRef $db PETS => $pets
Database_GetBaseObjectRef $db 1 => $people
Database_GetBaseObjectRef $db Nobody => "ERROR 524"
Database_GetBaseObjectRef $db 3 => "ERROR 524"
DataBase_RemoveBaseObject $db Nobody => ""
DataBase_RemoveBaseObject $db 9 => ""
DataBase_RemoveBaseObject $db pets => ""
Database_GetBaseObjectCount $db => 1
BaseObject_GetRecordCount $pets => "ERROR 391"
Database_Flush $db => ""

# Closing forgets the handle; reopening finds the tables and settings.
Database_Close $db => ""
Database_Close $db => "ERROR 390"
Database_GetBaseObjectCount first.vdb => "ERROR 510"
BaseObject_GetRecordCount $people => "ERROR 391"
db = Database_Open "$tmp/first.vdb"
Database_GetBaseObjectCount $db => 1
Database_GetBaseObjectName $db 1 => People
Database_GetSchemaVersion $db => 7
Database_GetDateFormat $db => 2
Database_GetDateSep $db => "."

# A failing open leaves nothing registered; a given handle is reused.
Database_Open "$tmp/none.vdb" => "ERROR 322"
Database_Open => "ERROR 310"
spare = Database_New
Database_GetBaseObjectCount $spare => 0
p1 = Database_GetBaseObjectRef $db People
Database_Open "$tmp/first.vdb" $db => $db
BaseObject_GetRecordCount $p1 => "ERROR 391"
Database_GetBaseObjectName $db 1 => People
Database_Open "$tmp/first.vdb" 424242 => "ERROR 390"
Database_Close $spare => ""

# Dumps answer as the object layer does while no dump layer is there.
Database_Dump $db "$tmp/d.sql" 1 => ""

# ShutDown closes every database still open.
ShutDown => ""
Database_GetBaseObjectCount $db => "ERROR 390"
