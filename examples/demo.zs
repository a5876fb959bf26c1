# A first look at Zorvane: run with `make demo`.
Init
.echo "Zorvane version:"
Version
.echo "Escaping a text for SQL, then for a pattern:"
EscapeString "it's (a).b"
EscapeString "it's (a).b" 1
ShutDown
