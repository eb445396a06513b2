#include "overlays/base_pic_slots.h"

#include "overlays/base_pic.h"

namespace tessaro::overlays {

namespace {

// The slot's item, null for a slot number out of range.
PictureItem* Slot(BasePic& pic, int slot)
{
    if (slot < 0 || slot >= PictureArea::kPhotoSlots) return nullptr;
    return &pic.Area().PhotoImg[static_cast<std::size_t>(slot)];
}

}  // namespace

bool BasePicSlots::LoadPicture(int slot, const std::string& path)
{
    ++loads_;
    return pic_.LoadPhoto(slot, path);
}

void BasePicSlots::SendToBack(int slot)
{
    if (PictureItem* item = Slot(pic_, slot)) pic_.Area().SendToBack(*item);
}

void BasePicSlots::BringToFront(int slot)
{
    if (PictureItem* item = Slot(pic_, slot)) pic_.Area().BringToFront(*item);
}

void BasePicSlots::SetPlacement(int slot, double left, double top, double width, double height)
{
    PictureItem* item = Slot(pic_, slot);
    if (!item) return;
    item->left = left;
    item->top = top;
    item->width = width;
    item->height = height;
    pic_.Area().Changed();
}

void BasePicSlots::SetVisible(int slot, bool visible)
{
    PictureItem* item = Slot(pic_, slot);
    if (!item) return;
    item->visible = visible;
    pic_.Area().Changed();
}

}  // namespace tessaro::overlays
