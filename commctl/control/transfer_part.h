// The transfer part of the control: Upload, Download and the Xfer values
// (the rows of part Transfer in object_model.cpp).
//
// StoredTransfer keeps the values and starts a transfer (TransferSide) made
// by the TransferFactory; without a factory an upload or download on an
// open port gives 8021. The real transfer engine replaces it by
// implementing TransferPart.
#pragma once

#include "control_part.h"
#include "terminal_side.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tolvex::control {

class TransferPart : public ControlPart {
public:
    // Asks a running transfer to stop and waits for it (reset, load, destruction).
    virtual void Stop() = 0;
    // A new instance's status: no transfer, nothing transferred, no message.
    virtual void ClearStatus() = 0;
};

class StoredTransfer final : public TransferPart {
public:
    // `portOpen` tells whether the port is open (a transfer needs it).
    StoredTransfer(TransferFactory makeTransfer, std::function<bool()> portOpen, EngineLink link = {});
    ~StoredTransfer() override;

    com::Variant Get(const PropertyRow& row) override;
    void Put(const PropertyRow& row, const PutValue& value) override;
    void Stop() override;
    void ClearStatus() override;

private:
    TransferFactory makeTransfer_;
    EngineLink link_;  // the port's engine, handed to the factory
    std::function<bool()> portOpen_;
    std::unique_ptr<TransferSide> transfer_;

    std::int16_t xferStatus_ = 0;
    std::string xferSourceFilename_;
    std::int32_t xferTransferred_ = 0;
    std::int32_t xferFileSize_ = 0;
    std::int16_t xferProtocol_ = 0;
    std::int16_t xferStatusDialog_ = 0;
    std::string xferMessage_;
    std::string xferDestFilename_;
    bool xferDestWritable_ = false;
    bool xferCarrierAbort_ = false;
    std::string xferFileDate_;
    std::string xferFileTime_;
};

}  // namespace tolvex::control
