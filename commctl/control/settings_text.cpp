#include "settings_text.h"

#include "serial/comm_engine.h"

namespace tolvex::control {

std::string UpperAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool ParseSettings(std::string_view text, LineSettings& settings)
{
    // One grammar for the control and the port: the engine's.
    serial::LineSettings line{settings.baud, settings.parity, settings.dataBits, settings.stopBits};
    if (!serial::ParseSettingsText(text, line)) return false;
    settings = {line.baud, line.parity, line.data_bits, line.stop_bits};
    return true;
}

}  // namespace tolvex::control
