#pragma once
// Resource ids, shared by the .rc script and the code.
#define IDI_TAVREL 1
