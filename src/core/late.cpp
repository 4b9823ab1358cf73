// The libraries loaded on first use, by the names the system gives them.
#include "core/late.h"

namespace osbridge::late {

LateLibrary<Winspool> winspool(L"winspool.drv");
LateLibrary<Rasapi32> rasapi32(L"rasapi32.dll");
LateLibrary<Wininet> wininet(L"wininet.dll");
LateLibrary<Crypt32> crypt32(L"crypt32.dll");
LateLibrary<Winmm> winmm(L"winmm.dll");
LateLibrary<Gdi32> gdi32(L"gdi32.dll");

} // namespace osbridge::late
