/* The external-command interface of libzorvane.so on 64-bit hosts.
 *
 * A host loads the library, calls getXtable once with its callback table,
 * then calls Zorvane (or fills a CommandBlock and calls Dispatch) for every
 * command. Result texts belong to the host, which frees them with the
 * release routine getXtable hands out. */
#ifndef ZORVANE_XCMD_H
#define ZORVANE_XCMD_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define ZORVANE_EXPORT __attribute__((visibility("default")))
#else
#define ZORVANE_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* 144 bytes, natural alignment. In a name call and an indexed text call
 * every slot holds the address of the host's text pointer (a char **), or 0
 * when the argument is absent; slot 0 holds the command word. In a raw call
 * a numeric argument is the low 32 bits of its slot, read as signed. */
typedef struct CommandBlock {
  uint16_t ParamCount;   /* arguments passed, the command word included */
  int32_t CommandNumber; /* indexed calls: the command's number, 0-95 */
  intptr_t Params[16];
  char* ReturnValue; /* result text, 0 until one is written */
} CommandBlock;

enum {
  ZORVANE_SLOT_RESULT_VALUE = 13, /* indexed calls: numeric or Boolean result */
  ZORVANE_SLOT_ERROR_OUT = 14,    /* indexed calls: the error code */
  ZORVANE_SLOT_CALL_MODE = 15     /* 0 name call, 1 indexed text call, >= 2 raw call */
};

typedef char* (*HostCallback)(void* name, void* key, void* block, void* flag);

/* What `block` of callbacks 19 (read a variable) and 20 (write one) points to.
 * Callback 19 sets data and length and returns data, zero-terminated after
 * length; the library copies up to length bytes but never past the first
 * zero, so a wrong length cannot make it read beyond the host's text. */
typedef struct HostDataBlock {
  char* data;
  int32_t length;
} HostDataBlock;

typedef struct XternalEntry {
  const char* name;
  const char* kind;
  intptr_t zero;
  void* entry;
  void* abort;
} XternalEntry;

enum { ZORVANE_CALLBACK_GET_VARIABLE = 19, ZORVANE_CALLBACK_SET_VARIABLE = 20 };

typedef void (*ZorvaneReleaseFn)(void*);

ZORVANE_EXPORT void getXtable(HostCallback* callbacks, void (*hostRelease)(char*), char** outName,
                              XternalEntry** outTable, ZorvaneReleaseFn* outRelease);
ZORVANE_EXPORT void Zorvane(char** args, int argCount, char** outResult, int32_t* outFlagA,
                            int32_t* outFlagB);
ZORVANE_EXPORT void Dispatch(CommandBlock* block);
ZORVANE_EXPORT void XCabort(void);
ZORVANE_EXPORT char* PrepareSpace_mc(size_t n);

/* Data exports: the library's routines, set when it loads. */
ZORVANE_EXPORT extern void* (*pMalloc)(size_t n);
ZORVANE_EXPORT extern void* (*pRealloc)(void* block, size_t n);
ZORVANE_EXPORT extern char* (*PrepareSpace)(size_t n);
ZORVANE_EXPORT extern char* (*pGetVariableEx)(void* name, void* key, void* block, void* flag);
ZORVANE_EXPORT extern char* (*pSetVariableEx)(void* name, void* key, void* block, void* flag);

/* A bound value of the driver interface. */
typedef struct BindValue {
  const char* data;
  uint32_t length;
  uint32_t flag;
} BindValue;

#ifdef __cplusplus
}

static_assert(sizeof(CommandBlock) == 144, "command block layout");
static_assert(offsetof(CommandBlock, CommandNumber) == 4, "command block layout");
static_assert(offsetof(CommandBlock, Params) == 8, "command block layout");
static_assert(offsetof(CommandBlock, ReturnValue) == 136, "command block layout");
static_assert(sizeof(BindValue) == 16, "bind value layout");
#endif

#endif
