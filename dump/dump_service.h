// The dump layer's entry points as the object layer reaches them
// (OBL_DumpService, objects/object_database.h): kind 1 writes an SQL dump,
// kind 2 an XML dump; only kind 2 loads. Installed at start-up.
#pragma once

namespace zv::dump {

// Registers the dump layer with the object layer (idempotent).
void InstallDumpService();

}  // namespace zv::dump
