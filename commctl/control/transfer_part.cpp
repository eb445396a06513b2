#include "transfer_part.h"

namespace tolvex::control {

namespace id = com::dispid;
using com::Variant;

namespace {
// A size or count the transfer does not know; it reads as 0.
constexpr std::int32_t kUnknownSize = 2000000000;
}  // namespace

StoredTransfer::StoredTransfer(TransferFactory makeTransfer, std::function<bool()> portOpen, EngineLink link)
    : makeTransfer_(std::move(makeTransfer)), link_(link), portOpen_(std::move(portOpen))
{
}

StoredTransfer::~StoredTransfer() { Stop(); }

void StoredTransfer::Stop()
{
    if (!transfer_) return;
    transfer_->Stop();
    transfer_.reset();
}

void StoredTransfer::ClearStatus()
{
    xferStatus_ = com::TOLVEX_XFER_TERM_OK;
    xferTransferred_ = 0;
    xferFileSize_ = 0;
    xferMessage_.clear();
}

Variant StoredTransfer::Get(const PropertyRow& row)
{
    switch (row.info.dispid) {
    case id::kXferStatus: return Variant::I2(xferStatus_);
    case id::kXferSourceFilename: return Variant::String(xferSourceFilename_);
    case id::kXferTransferred: return Variant::I4(xferTransferred_ == kUnknownSize ? 0 : xferTransferred_);
    case id::kXferFileSize: return Variant::I4(xferFileSize_ == kUnknownSize ? 0 : xferFileSize_);
    case id::kXferProtocol: return Variant::I2(xferProtocol_);
    case id::kXferStatusDialog: return Variant::I2(xferStatusDialog_);
    case id::kXferMessage: return Variant::String(xferMessage_);
    case id::kXferDestFilename: return Variant::String(xferDestFilename_);
    case id::kXferCarrierAbort: return Variant::Bool(xferCarrierAbort_);
    case id::kXferFileDate: return Variant::String(xferFileDate_);
    case id::kXferFileTime: return Variant::String(xferFileTime_);
    default: Fail(kErrGetNotSupported);
    }
}

void StoredTransfer::Put(const PropertyRow& row, const PutValue& value)
{
    const DispId dispid = row.info.dispid;
    const std::int16_t i2 = value.i2();
    switch (dispid) {
    case id::kDownload:
    case id::kUpload:
        if (!portOpen_ || !portOpen_()) Fail(kErrPortMustBeOpen);
        if (!transfer_ && makeTransfer_) transfer_ = makeTransfer_(link_);
        if (!transfer_) Fail(kErrFunctionInvalid);
        if (dispid == id::kUpload) transfer_->Upload(value.text);
        else transfer_->Download(value.text);
        return;
    case id::kXferStatus:
        // Requests to a running transfer; without one the write is ignored.
        if (transfer_ && transfer_->Running()) {
            if (i2 != com::TOLVEX_XFER_SKIP && i2 != com::TOLVEX_XFER_ABORT && i2 != com::TOLVEX_XFER_RESUME)
                Fail(kErrSetNotSupported);
            transfer_->Request(i2);
        }
        return;
    case id::kXferSourceFilename: xferSourceFilename_ = value.text; return;
    case id::kXferTransferred: xferTransferred_ = value.number; return;
    case id::kXferProtocol: xferProtocol_ = i2; return;
    case id::kXferStatusDialog: xferStatusDialog_ = i2; return;
    case id::kXferDestFilename:
        // Taken only while a download asks for the name of its file.
        if (xferDestWritable_) xferDestFilename_ = value.text;
        return;
    case id::kXferCarrierAbort: xferCarrierAbort_ = value.flag(); return;
    default: Fail(kErrSetNotSupported);
    }
}

}  // namespace tolvex::control
