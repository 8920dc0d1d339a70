#pragma once

#include "platform/MessageBoxes.h"

class QWidget;

namespace kestrion::platform {

// Real modal message boxes.
class QtMessageBoxes final : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

protected:
    int present(const QString& title, const QString& text, MsgButtons buttons, MsgIcon icon,
                int defaultAnswer) override;

private:
    QWidget* parent_;
};

} // namespace kestrion::platform
