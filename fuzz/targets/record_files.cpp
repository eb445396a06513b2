// A record file read back for review, and StoredSTS.dat: the first byte
// picks which.
#include "fuzz_support.h"
#include "geodesy/plane_coords.h"
#include "overlays/overlay_lists.h"
#include "recording/record_files.h"
#include "recording/record_review.h"

#include <memory>

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const auto lists = [] {
        geodesy::InitEllipsoid();
        return std::make_unique<overlays::OverlayLists>();
    }();
    fuzz::InputReader in(data, size);
    if (in.Byte() & 1) {
        recording::ReadStoredStatus(fuzz::WriteScratchFile("data0/StoredSTS.dat", in.Rest()));
    } else {
        const std::string path = fuzz::WriteScratchFile("20100623/20100623_0.dat", in.Rest());
        recording::LoadRecordFile(path, *lists, 9);
        if (lists->RecordPointCount < 0 || lists->RecordPointCount > overlays::OverlayLists::kRecordPointCapacity)
            fuzz::Broken("record point count outside its array");
    }
    return 0;
}
