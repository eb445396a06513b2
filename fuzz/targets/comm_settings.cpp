// The Settings text ("9600,n,8,1" and every malformed variant).
#include "fuzz_support.h"
#include "serial/comm_engine.h"

using namespace tolvex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    serial::LineSettings values;
    const serial::LineSettings before = values;
    if (!serial::ParseSettingsText(tessaro::fuzz::AsText(data, size), values) &&
        (values.baud != before.baud || values.parity != before.parity || values.data_bits != before.data_bits ||
         values.stop_bits != before.stop_bits))
        tessaro::fuzz::Broken("a refused Settings text changed the values");
    return 0;
}
