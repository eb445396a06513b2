#include "shell/owned_dialog.h"

#include <QDialog>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

namespace tessaro {

void MakeOwnedDialog(QDialog* dialog, QWidget* owner, QPushButton* ok, QPushButton* cancel)
{
    // A window of type Qt::Dialog with a parent is what the platform turns
    // into an owned window (WM_TRANSIENT_FOR on X11); a plain Qt::Window
    // with a parent is not, and falls behind the main window.
    QWidget* ownerWindow = owner ? owner->window() : nullptr;
    dialog->setParent(ownerWindow, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                       Qt::WindowCloseButtonHint);
    dialog->setWindowModality(Qt::NonModal);
    dialog->setModal(false);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (ok) {
        ok->setAutoDefault(true);
        ok->setDefault(true);
    }
    if (cancel) {
        cancel->setAutoDefault(false);
        QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    }
}

void PlaceFrameAtScreenCorner(QWidget* window)
{
    const QScreen* where = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QPoint corner = where ? where->availableGeometry().topLeft() : QPoint(0, 0);
    if (QWindow* handle = window->windowHandle())
        handle->setFramePosition(corner);
    else
        window->move(corner);
}

}  // namespace tessaro
