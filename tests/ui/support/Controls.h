// Controls: finds a window's control by its object name in window tests.
#pragma once

#include <QString>
#include <QWidget>

// Returns the child of form named name; ends the test run when it is missing.
template <typename T> T* Control(QWidget& form, const char* name)
{
    T* widget = form.findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("missing control %s", name);
    return widget;
}
