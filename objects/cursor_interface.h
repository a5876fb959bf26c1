// OBL_I_Cursor: what the database knows of the cursors over its tables.
// Cursors live in the SQL layer above; the database keeps a list of the
// open ones (not owned) only to tell them when their tables go away, so
// that a cursor never touches a table after the database dropped it.
#pragma once

class OBL_BaseObject;

class OBL_I_Cursor {
 public:
  virtual ~OBL_I_Cursor() = default;
  // The database is about to drop `table`, or every table when null (the
  // database closes). The cursor lets go of what it holds of them; from
  // then on its operations answer an error. When table is null the
  // database forgets the cursor: it must not unregister afterwards.
  virtual void LetGo(const OBL_BaseObject* table) = 0;
};
