# A first look at Zorvane: run with `make demo`.
# Each line calls the library with a command word and its arguments;
# `name = ...` keeps the result, `... => text` checks it, and a bare call
# prints its result.
Init
.echo "Zorvane version:"
Version

.echo ""
.echo "1. A database with two tables; a person points at the town they live in."
db = Database_Create "$tmp/demo.vdb"
Database_SqlExecute $db "CREATE TABLE town (name String(20), country String(20))" => 0
Database_SqlExecute $db "CREATE TABLE person (name String(20), age Long, home ObjectPtr REFERENCES town)" => 0

.echo "2. Records from text: one per line, values separated by tabs."
towns = DataBase_SQLSelect $db "SELECT name, country FROM town" 1 1 2
Cursor_AddRecords $towns "Rome\tItaly\nMilan\tItaly\nOslo\tNorway" => TRUE
Cursor_Remove $towns
people = DataBase_SQLSelect $db "SELECT name, age, home FROM person" 1 1 2
Cursor_AddRecords $people "Ann\t34\t1\nBob\t41\t1\nCarla\t29\t2\nDag\t52\t3\nEva\t38\t3" => TRUE
Cursor_Remove $people
# Statements take values for :1, :2, ... without pasting them into the text.
Database_SqlExecute $db "INSERT INTO person VALUES (:1, :2, 2)" "Gianni" 61 => 0

.echo "3. Who lives where (a join through the pointer):"
Database_SQLSelectRecords $db "SELECT person.name, town.name FROM person, town WHERE person.home = town.RecID ORDER BY 1"
.echo "   People per country, with their average age (GROUP BY):"
Database_SQLSelectRecords $db "SELECT town.country, count(*), avg(person.age) FROM person, town WHERE person.home = town.RecID GROUP BY town.country ORDER BY 1"

.echo "4. An update (it answers the count of records changed): Dag turns 53."
Database_SqlExecute $db "UPDATE person SET age = :1 WHERE name = 'Dag'" 53
.echo "   And one through a cursor: Ann moves to Milan."
c = DataBase_SQLSelect $db "SELECT name, home FROM person WHERE name = 'Ann'" 1 1 2
Cursor_SetField $c home 2 => ""
Cursor_UpdateRecord $c => TRUE
Cursor_Remove $c
Database_SQLSelectRecords $db "SELECT person.name, person.age, town.name FROM person, town WHERE person.home = town.RecID ORDER BY 1"

.echo "5. Closed and opened again, the data is still there:"
Database_Close $db
db = Database_Open "$tmp/demo.vdb"
Database_SQLSelectRecords $db "SELECT town.name, count(*) FROM person, town WHERE person.home = town.RecID GROUP BY town.name ORDER BY 1"
# Checked, so the walkthrough never goes stale (`make test` runs it too).
Database_SQLSelectRecords $db "SELECT count(*) FROM person" => 6
Database_SQLSelectRecords $db "SELECT age FROM person WHERE name = 'Dag'" => 53
Database_SQLSelectRecords $db "SELECT town.name FROM person, town WHERE person.home = town.RecID AND person.name = 'Ann'" => Milan
Database_SQLSelectRecords $db "SELECT town.country, count(*) FROM person, town WHERE person.home = town.RecID GROUP BY town.country ORDER BY 1" => "Italy\t4\nNorway\t2"
Database_Close $db
ShutDown
