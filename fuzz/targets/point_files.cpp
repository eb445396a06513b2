// A stored-point file, and PointFileName.txt naming the file to open: the
// first byte picks which.
#include "fuzz_support.h"
#include "points/set_point_session.h"

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string program = (fuzz::ScratchDir() / "program").string();
    fuzz::InputReader in(data, size);
    if (in.Byte() & 1) {
        fuzz::WriteScratchFile("program/data0/PointFileName.txt", in.Rest());
        points::SetPointSession session(program);
        std::vector<std::string> messages;
        session.Open(&messages);
    } else {
        const std::string path = fuzz::WriteScratchFile("points.csv", in.Rest());
        points::PointFileRefusal(path);
        points::LoadPointFile(path);
    }
    return 0;
}
