#pragma once

class ComSettings;
class SerialChannel;

// Applies the settings to a window's channel before it opens, in the order
// port number, baud rate, parity, data bits, stop bits. A baud-rate index
// outside the list leaves the channel's rate unchanged; parity index 0 is
// none, 1 even, anything else odd.
void ApplyComSettings(SerialChannel &channel, const ComSettings &settings);
