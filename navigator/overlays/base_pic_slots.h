// The nine photograph slots of the photo-map view on BasePic: loads the
// pictures into the widget and places them on its picture area.
#pragma once

#include <string>

#include "mapview/map_view.h"

namespace tessaro::overlays {

class BasePic;

class BasePicSlots : public mapview::PictureSlots {
public:
    explicit BasePicSlots(BasePic& pic) : pic_(pic) {}

    bool LoadPicture(int slot, const std::string& path) override;
    void SendToBack(int slot) override;
    void BringToFront(int slot) override;
    void SetPlacement(int slot, double left, double top, double width, double height) override;
    void SetVisible(int slot, bool visible) override;

    // Number of picture loads asked so far.
    int Loads() const { return loads_; }

private:
    BasePic& pic_;
    int loads_ = 0;
};

}  // namespace tessaro::overlays
