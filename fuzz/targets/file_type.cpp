// The builder's settings file FileType.dat read back as the builder's folder.
#include "builder/map_data_setting.h"
#include "fuzz_support.h"

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::WriteScratchFile("prog/data0/FileType.dat", fuzz::AsText(data, size));
    const auto folder = builder::ReadFileType((fuzz::ScratchDir() / "prog").string());
    // The folder is one line of the file.
    if (folder && (folder->empty() || folder->find_first_of("\r\n") != std::string::npos))
        fuzz::Broken("folder with a line break or empty");
    return 0;
}
