#pragma once
// File and port names as the core takes them: UTF-8 on every platform (the core's file helpers
// turn them into the system's own names, wide ones on Windows). QFile::encodeName is not the
// same on Windows: it gives the ANSI code page, which the core would misread for every letter
// beyond ASCII unless the process runs with UTF-8 as that code page.

#include <QString>

#include <string>

inline std::string ToCoreName(const QString& name) {
    return name.toStdString(); // UTF-8
}

inline QString FromCoreName(const std::string& name) {
    return QString::fromStdString(name);
}
