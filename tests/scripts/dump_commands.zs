# Dumps through the commands: an SQL and an XML dump of a database made
# by SQL, the XML dump loaded into a new database, the SQL dump run back
# statement by statement; each copy answers the same SELECTs.
Init => ""
db = Database_Create "$tmp/source.vdb"
Database_SqlExecute $db "CREATE TABLE town (name String(20) UNIQUE INDEXED, size Long)" => 0
Database_SqlExecute $db "CREATE TABLE person (name VarChar(40), home ObjectPtr REFERENCES town ON DELETE CASCADE, code VarBinary(8), photo BLOB(512))" => 0
Database_SqlExecute $db "INSERT INTO town VALUES ('Rome', 300)" => 0
Database_SqlExecute $db "INSERT INTO town VALUES ('O\\'Hara <&>', 7)" => 0
Database_SqlExecute $db "INSERT INTO person VALUES ('Ann', 1, 'ab', 'a photo of seventeen')" => 0
Database_SqlExecute $db "INSERT INTO person VALUES ('Bob\\\\', 2, NULL, NULL)" => 0
towns = Database_SQLSelectRecords $db "SELECT name, size FROM town"
people = Database_SQLSelectRecords $db "SELECT name, home, code, photo FROM person"

# Kind 1 writes SQL, kind 2 XML; other kinds write nothing and answer
# nothing.
Database_Dump $db "$tmp/dump.sql" 1 => ""
Database_Dump $db "$tmp/dump.xml" 2 => ""
Database_Dump $db "$tmp/none.txt" 3 => ""
Database_Dump $db "$tmp/none.txt" => ""
Database_Dump $db => "ERROR 310"

# The XML dump loads into a new database.
copy = Database_LoadDump "$tmp/dump.xml" "$tmp/copy.vdb" 2
Database_GetBaseObjectCount $copy => 2
Database_SQLSelectRecords $copy "SELECT name, size FROM town" => "$towns"
Database_SQLSelectRecords $copy "SELECT name, home, code, photo FROM person" => "$people"
Database_LoadDump "$tmp/missing.xml" "$tmp/wrong.vdb" 2 => "ERROR 2"

# The SQL dump's statements run back one by one, byte values in their
# multi-line hexadecimal form included.
.load sql $tmp/dump.sql
back = Database_Create "$tmp/back.vdb"
Database_SqlExecute $back "CREATE TABLE town (\n\tname String(20,'ASCII') UNIQUE INDEXED,\n\tsize Long\n);" => 0
Database_SqlExecute $back "INSERT INTO town (name, size) VALUES ('Rome', 300);" => 0
Database_SqlExecute $back "INSERT INTO town (name, size) VALUES ('O\\'Hara <&>', 7);" => 0
Database_SqlExecute $back "CREATE TABLE person (\n\tname VarChar(40,'ASCII'),\n\thome ObjectPtr REFERENCES town ON DELETE CASCADE INDEXED,\n\tcode VarBinary(8),\n\tphoto BLOB(512) NOT NULL\n);" => 0
Database_SqlExecute $back "INSERT INTO person (name, home, code, photo) VALUES ('Ann', 1, 61 62\n, 61 20 70 68 6F 74 6F 20 6F 66 20 73 65 76 65 6E\n74 65 65 6E\n);" => 0
Database_SqlExecute $back "INSERT INTO person (name, home, code, photo) VALUES ('Bob\\\\', 2, NULL, NULL);" => 0
Database_SQLSelectRecords $back "SELECT name, size FROM town" => "$towns"
Database_SQLSelectRecords $back "SELECT name, home, code, photo FROM person" => "$people"

# Those statements are the dump's, byte for byte (compared escaped: the
# commands have no plain echo).
.set run "# Zorvane dump \n#--------------------------------------------------\n\n#\n# Table structure for 'town'\n#\n\nCREATE TABLE town (\n\tname String(20,'ASCII') UNIQUE INDEXED,\n\tsize Long\n);\n\n#\n# Dumping data for table 'town'\n#\n\nINSERT INTO town (name, size) VALUES ('Rome', 300);\nINSERT INTO town (name, size) VALUES ('O\\'Hara <&>', 7);\n\n#\n# Table structure for 'person'\n#\n\nCREATE TABLE person (\n\tname VarChar(40,'ASCII'),\n\thome ObjectPtr REFERENCES town ON DELETE CASCADE INDEXED,\n\tcode VarBinary(8),\n\tphoto BLOB(512) NOT NULL\n);\n\n#\n# Dumping data for table 'person'\n#\n\nINSERT INTO person (name, home, code, photo) VALUES ('Ann', 1, 61 62\n, 61 20 70 68 6F 74 6F 20 6F 66 20 73 65 76 65 6E\n74 65 65 6E\n);\nINSERT INTO person (name, home, code, photo) VALUES ('Bob\\\\', 2, NULL, NULL);\n\n"
expected = EscapeString "$run"
EscapeString "$sql" => "$expected"
