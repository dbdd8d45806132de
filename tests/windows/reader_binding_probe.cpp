// Links every reader operation the way the program does, so that the import table of
// a Windows build can be checked before the program's entry exists. Never run.
#include <windows.h>

#include "engine/time_check.h"
#include "reader/nttc_reader.h"

int main(void)
{
    WORD address = 0x300;
    BYTE value = 0;
    BYTE second = 0;
    WORD reg = 0x3FF;
    NttcOpen();
    NttcIdentify(&address);
    NttcReadReg(&value, &reg, &address);
    NttcWriteReg(&value, &reg, &address);
    NttcSendByte(&value, &second, &address);
    return CheckTime();
}
