// The seam every part of the control implements (port, terminal, transfer).
//
// CTolvexcommCtrl::Invoke finds a property's row, does the generic work of
// every property (access 383/394, conversion to the row's type, the table's
// range check 380, telling a real change from writing the current value,
// change notification) and hands the rest to the part the row names: Get
// reads the value, Put applies it. A part throws tolvex::ControlError with
// the control's error number for what it refuses, before it changes anything.
#pragma once

#include "object_model.h"

#include "common/errors.h"

#include <tolvexcomm/component.h>

#include <cstdint>
#include <string>

namespace tolvex::control {

// A value as Invoke hands it to a part: converted to the row's type and
// through the table's check.
struct PutValue {
    const com::Variant& given;  // as the host passed it (Output, OutputB, FontSize, Font)
    std::int32_t number = 0;    // numeric, boolean and enumeration rows, as written (true may be 1 or -1)
    std::string text;           // text rows (String, Font), in CP932

    std::int16_t i2() const { return static_cast<std::int16_t>(number); }
    bool flag() const { return number != 0; }
};

class ControlPart {
public:
    virtual ~ControlPart() = default;
    // The value of a property of this part, in the row's type.
    virtual com::Variant Get(const PropertyRow& row) = 0;
    virtual void Put(const PropertyRow& row, const PutValue& value) = 0;
};

// Throws the control's error `number`.
[[noreturn]] inline void Fail(int number) { throw ControlError(number); }

}  // namespace tolvex::control
