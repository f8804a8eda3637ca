#pragma once

#include <QString>
#include <exception>
#include <string>

// Base of every failure the core reports; carries the text the user sees.
class LumbraError : public std::exception {
public:
    explicit LumbraError(QString description)
        : m_description(std::move(description)), m_what(m_description.toStdString())
    {
    }
    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    QString m_description;
    std::string m_what;
};

// A reply or stored record that is not the JSON we expect.
// `path` says where in the document the problem is, e.g. "items[3].unread".
class DecodingError : public LumbraError {
public:
    DecodingError(QString path, QString problem)
        : LumbraError(QStringLiteral("The data couldn't be read because it isn't in the correct "
                                     "format (") +
                      (path.isEmpty() ? problem : path + QStringLiteral(": ") + problem) +
                      QStringLiteral(").")),
          m_path(std::move(path)), m_problem(std::move(problem))
    {
    }
    const QString& path() const noexcept { return m_path; }
    const QString& problem() const noexcept { return m_problem; }

private:
    QString m_path;
    QString m_problem;
};

// There was not enough memory for the reply or its decoding; nothing of it was kept.
class OutOfMemoryError : public LumbraError {
public:
    OutOfMemoryError()
        : LumbraError(QStringLiteral("There isn't enough memory for the server's reply."))
    {
    }
};
