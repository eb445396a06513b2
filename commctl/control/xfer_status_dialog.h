// The transfer status window: a thin Qt dialog that shows what
// transfer::StatusView worked out (files, event, message, progress, bytes,
// elapsed time, speed, time left) and a Cancel button.
#pragma once

#include "transfer_part.h"

#include <QDialog>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tolvex::control {

class XferStatusDialog final : public QDialog {
public:
    // `modal`: the host's top-level window (`owner`) is disabled while this is open.
    XferStatusDialog(const QString& title, bool upload, bool modal, std::function<void()> cancel,
                     QWidget* owner = nullptr);
    ~XferStatusDialog() override;
    void Show(const transfer::StatusView& view);

private:
    QLabel* source_;
    QLabel* dest_;
    QLabel* event_;
    QLabel* message_;
    QLabel* files_;
    QLabel* retries_;
    QProgressBar* progress_;
    QLabel* bytes_;
    QLabel* elapsed_;
    QLabel* speed_;
    QLabel* remaining_;
    QPushButton* cancel_;
    QWidget* disabled_ = nullptr;  // the owner this window disabled
};

// The factory the control's parts use; the window is owned by the transfer.
StatusWindowFactory XferStatusDialogFactory();

}  // namespace tolvex::control
