// Handlers of the commands. Each reads its arguments through the current
// block and writes its result or sets ErrorCode; lower layers throw.
#pragma once

namespace bridge {

void Cmd_SetDebugLevel();
void Cmd_Init();
void Cmd_ShutDown();
void Cmd_Version();
void Cmd_SetCreator();
void Cmd_EscapeString();
void Cmd_MemBuffer_Allocate();
void Cmd_MemBuffer_Free();

}  // namespace bridge
