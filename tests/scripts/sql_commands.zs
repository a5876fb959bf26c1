# SQL through a database: statements with parameter values, records of a
# SELECT as text, cursors made by a SELECT.
Init => ""
db = Database_Create "$tmp/sql.vdb"
Database_SqlExecute $db "CREATE TABLE town (name String(20), size Long)" => 0
Database_SqlExecute $db "CREATE TABLE person (name String(20), age Long, home ObjectPtr REFERENCES town)" => 0
Database_GetBaseObjectCount $db => 2
t = Database_GetBaseObjectRef $db town
BaseObject_GetFieldCount $t => 2

# Parameter values are values, never text of the statement: a quote or a
# comma inside one stays in the value.
Database_SqlExecute $db "INSERT INTO town VALUES (:1, :2)" Rome 300 => 0
Database_SqlExecute $db "INSERT INTO town VALUES (:1, :2)" "O'Hara, Ky" 7 => 0
Database_SqlExecute $db "INSERT INTO town (size, name) VALUES (:2, :1)" Oslo 90 => 0
Database_SqlExecute $db "INSERT INTO town VALUES (:1, 5)" "" => 0
Database_SqlExecute $db "INSERT INTO town VALUES (:1, :3)" x 1 => "ERROR 619"
BaseObject_GetRecordCount $t => 4
Database_SQLSelectRecords $db "SELECT name, size FROM town WHERE size = 7" => "O'Hara, Ky\t7"
Database_SqlExecute $db "INSERT INTO person VALUES ('Ann', 30, 1)" => 0
Database_SqlExecute $db "INSERT INTO person VALUES ('Bob', 40, 1)" => 0
Database_SqlExecute $db "INSERT INTO person VALUES ('Cy', 50, 3)" => 0

# Records as text: all, from a first record on, a count, other delimiters.
Database_SQLSelectRecords $db "SELECT name, age FROM person" => "Ann\t30\nBob\t40\nCy\t50"
Database_SQLSelectRecords $db "SELECT name FROM person" 2 => "Bob\nCy"
Database_SQLSelectRecords $db "SELECT name FROM person" 1 2 => "Ann\nBob"
Database_SQLSelectRecords $db "SELECT name FROM person" 1 0 => ""
Database_SQLSelectRecords $db "SELECT name FROM person" 4 => ""
Database_SQLSelectRecords $db "SELECT name, age FROM person" 1 -1 ; | => "Ann;30|Bob;40|Cy;50"
# RecID in a WHERE: compared with the record's number, alone, in a range
# and beside another field's condition.
Database_SQLSelectRecords $db "SELECT name FROM person WHERE RecID = 2" => "Bob"
Database_SQLSelectRecords $db "SELECT name FROM person WHERE RecID > 1 AND RecID <= 2" => "Bob"
Database_SQLSelectRecords $db "SELECT name FROM person WHERE RecID <> 2 AND age < 50" => "Ann"
Database_SQLSelectRecords $db "SELECT name FROM person WHERE NOT RecID >= 2" => "Ann"
Database_SQLSelectRecords $db "SELECT name FROM person WHERE RecID = 9" => ""
Database_SQLSelectRecords $db "SELECT name FROM person WHERE age > 99" => ""
Database_SQLSelectRecords $db "SELECT nothing FROM person" => "ERROR 603"
Database_SQLSelectRecords $db "SELECT name FROM nowhere" => "ERROR 602"
Database_SQLSelectRecords nosuch.vdb "SELECT name FROM person" => "ERROR 510"
Database_SQLSelectRecords $db => "ERROR 310"
Database_SQLSelectRecords $db "SELECT town.name, count(*) FROM person, town WHERE person.home = town.RecID GROUP BY town.name ORDER BY 1" => "Oslo\t1\nRome\t2"
Database_SQLSelectRecords $db "SELECT person.name, town.name FROM person, town WHERE person.home = town.RecID AND town.size > 100" => "Ann\tRome\nBob\tRome"
# The records of a temporary cursor are not left behind as a cursor.
Database_SQLSelectRecords sql.vdb "SELECT name FROM person WHERE age = 50" => Cy

# UPDATE and DELETE answer the records changed; a failing statement changes nothing.
Database_SqlExecute $db "UPDATE person SET age = :1 WHERE name = 'Bob'" 41 => 1
Database_SqlExecute $db "UPDATE person SET age = 1 WHERE age > 99" => 0
Database_SqlExecute $db "UPDATE person SET nothing = 1" => "ERROR 603"
Database_SqlExecute $db "DELETE FROM person WHERE age = 50" => 1
Database_SqlExecute $db "SELECT * FROM person" => 0
Database_SqlExecute $db "INSERTED INTO person VALUES (1)" => 0
Database_SqlExecute $db "DELETE person" => "ERROR 601"
Database_SqlExecute $db => "ERROR 310"
Database_SQLSelectRecords $db "SELECT name, age FROM person" => "Ann\t30\nBob\t41"

# A table made by SQL is a table of the commands at once; one dropped
# by SQL is gone for them.
Database_SqlExecute $db "CREATE TABLE scratch (x Long)" => 0
s = Database_GetBaseObjectRef $db scratch
BaseObject_GetFieldCount $s => 1
Database_SqlExecute $db "DROP TABLE scratch" => 0
BaseObject_GetFieldCount $s => "ERROR 391"
Database_GetBaseObjectCount $db => 2

# DataBase_SQLSelect: a cursor handle; a failing query makes no cursor.
c = DataBase_SQLSelect $db "SELECT name, age FROM person"
Cursor_IsValid $c => TRUE
Cursor_GetRecordCount $c => 2
Cursor_GetSQLstring $c => "SELECT name, age FROM person"
Cursor_GetDatabase $c => sql.vdb
DataBase_SQLSelect $db "SELECT name FROM nowhere" => "ERROR 602"
DataBase_SQLSelect $db => "ERROR 310"
Cursor_Remove $c => ""
Cursor_IsValid $c => FALSE
Cursor_Remove $c => "ERROR 393"

# Creating over a database that is open is refused and leaves it alone.
Database_Create "$tmp/sql.vdb" => "ERROR 17"
Database_Create "$tmp/sql" 4 => "ERROR 17"
Database_SQLSelectRecords $db "SELECT name FROM person" => "Ann\nBob"
Database_GetBaseObjectCount $db => 2

# Closing frees the database's cursors: their handles answer 393.
c = DataBase_SQLSelect $db "SELECT name FROM person"
f = Cursor_GetFieldRef $c name
Database_Close $db => ""
Cursor_IsValid $c => FALSE
Cursor_GetRecordCount $c => "ERROR 393"
Field_GetName $f => "ERROR 392"
SetDebugLevel 0 => ""
Cursor_GetRecordCount $c => "ERROR 393"

# Reopened, the data is there; creating anew over a closed path is allowed.
db = Database_Open "$tmp/sql.vdb"
Database_SQLSelectRecords $db "SELECT name, age FROM person" => "Ann\t30\nBob\t41"
Database_Close $db => ""
db = Database_Create "$tmp/sql.vdb"
Database_GetBaseObjectCount $db => 0
ShutDown => ""
