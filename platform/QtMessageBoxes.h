#pragma once

#include "platform/MessageBoxes.h"

#include <QPointer>
#include <QWidget>

namespace kestrion::platform {

// Real modal message boxes.
class QtMessageBoxes final : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void setOwnerWindow(QWidget* window) override { owner_ = window; }
    // The box's parent: the owner window while it is visible, otherwise the parent given.
    QWidget* boxParent() const;

protected:
    int present(const QString& title, const QString& text, MsgButtons buttons, MsgIcon icon,
                int defaultAnswer) override;

private:
    QWidget* parent_;
    QPointer<QWidget> owner_;
};

} // namespace kestrion::platform
