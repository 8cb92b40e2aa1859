#pragma once
// Resource ids, shared by the .rc script and the code.
#define IDI_TAVREL 1
#define IDI_CLICKHERE 2

// Pictures: JPEG and GIF files kept as RCDATA.
#define IDP_BACKGROUND 101
#define IDP_LOGO 102
#define IDP_HEAD 103
#define IDP_BELLY 104
#define IDP_BANDWIDTH 105
#define IDP_CONNECTION 106
#define IDP_CLEANFILES 107
#define IDP_RECYCLE 108
#define IDP_SPYBOT 109
#define IDP_HELP 110
