#pragma once

#include <QString>

#include <stdexcept>

// A serial operation that failed; what() is the Korean text for the operator.
class CommError : public std::runtime_error
{
public:
    explicit CommError(const QString &message) : std::runtime_error(message.toStdString()) {}
};
