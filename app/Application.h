#pragma once

#include "app/FatalError.h"

#include <QApplication>

namespace kestrion::app {

// The application's event boundary: a database or file failure that escapes an event handler is shown
// once with its number and text, and the program ends cleanly (FatalError).
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    // The boxes the failure is shown through; without them it goes to standard error.
    void setMessageBoxes(platform::MessageBoxes* boxes) { boxes_ = boxes; }
    bool notify(QObject* receiver, QEvent* event) override;

    // This application's fatal path: main() hands it to start-up and the window (Services).
    FatalPath& fatalPath() { return fatal_; }

private:
    void fail(int number, const QString& text);
    void fail(const db::DbError& error);

    platform::MessageBoxes* boxes_ = nullptr;
    FatalPath fatal_;
};

} // namespace kestrion::app
