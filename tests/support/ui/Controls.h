// Controls: finds a window's control by its object name in window tests.
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// Returns the child of form named name; ends the test run when it is missing.
template <typename T> T* Control(QWidget& form, const char* name)
{
    T* widget = form.findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("missing control %s", name);
    return widget;
}

// Replaces a field's text the way a user would: select all, delete, type.
inline void Retype(QWidget* field, const QString& text)
{
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

// Calls answer with the modal dialog of type T once it is open (polled, since exec()
// blocks the test until it is answered). Fails the test when none appears; the
// polling ends with context.
template <typename T> void WhenModal(QObject* context, std::function<void(T&)> answer)
{
    auto deadline = std::make_shared<QDeadlineTimer>(5000);
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [=] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            if (QTest::qWaitForWindowActive(dialog)) {
                answer(*dialog);
                return;
            }
        }
        if (deadline->hasExpired()) {
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
            QFAIL("the expected dialog did not open");
        }
        QTimer::singleShot(10, context, *poll);
    };
    QTimer::singleShot(0, context, *poll);
}
