#include "applysettings.h"

#include "comsettings.h"
#include "serialchannel.h"

#include <iterator>

void ApplyComSettings(SerialChannel &channel, const ComSettings &settings)
{
    channel.setComNumber(static_cast<quint16>(settings.comNumber()));
    const int baud = settings.comBaudRate();
    if (baud >= 0 && baud < int(std::size(BaudRates)))
        channel.setBaud(static_cast<quint32>(BaudRates[baud]));
    const int parity = settings.comParity();
    channel.setParity(parity == 0 ? TParity::pNone : parity == 1 ? TParity::pEven : TParity::pOdd);
    channel.setDataBits(static_cast<quint16>(settings.dataBits()));
    channel.setStopBits(static_cast<quint16>(settings.stopBits()));
}
