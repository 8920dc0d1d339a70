// Where the real message boxes appear: over the main window while it is on screen, so that a window
// manager places them by it, and on their own before it shows or after it has gone.
#include "platform/QtMessageBoxes.h"
#include "tests/support/Harness.h"

#include <QMessageBox>
#include <QWindow>

using namespace kestrion;

namespace {

struct SeenBox {
    QWidget* parent = nullptr;
    QWindow* transientParent = nullptr;
};

// Shows a box and closes it from its own event loop, reporting where it was placed.
SeenBox showAndClose(platform::QtMessageBoxes& boxes) {
    SeenBox seen;
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.parent = box->parentWidget();
        seen.transientParent = box->windowHandle() ? box->windowHandle()->transientParent() : nullptr;
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(boxes.show("Kestrion Alert", "text", platform::MsgButtons::Ok, platform::MsgIcon::None),
              platform::AnswerOk);
    return seen;
}

} // namespace

TEST(MessageBoxOwner, BoxesBelongToTheMainWindowWhileItIsShown) {
    platform::QtMessageBoxes boxes;
    auto owner = std::make_unique<QWidget>();
    boxes.setOwnerWindow(owner.get());
    EXPECT_EQ(showAndClose(boxes).parent, nullptr) << "a hidden window owns no box";

    owner->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(owner.get()));
    const SeenBox shown = showAndClose(boxes);
    EXPECT_EQ(shown.parent, owner.get());
    EXPECT_EQ(shown.transientParent, owner->windowHandle());

    owner.reset();
    EXPECT_EQ(showAndClose(boxes).parent, nullptr) << "a window that has gone owns no box";
}

TEST(MessageBoxOwner, TheMainWindowNamesItselfAsOwnerForItsLife) {
    auto h = std::make_unique<test::Harness>();
    EXPECT_EQ(h->world.boxes.owner, h->window.get());
    h->window.reset();
    EXPECT_EQ(h->world.boxes.owner, nullptr);
}
