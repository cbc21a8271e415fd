#pragma once

#include <QString>
#include <exception>

// Every failure a command can meet travels as one of these; the command guard shows its text.
class QuenvaleError : public std::exception
{
public:
    explicit QuenvaleError(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {
    }
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A statement or connection failed; the text is SQLite's own.
class DatabaseError : public QuenvaleError
{
public:
    using QuenvaleError::QuenvaleError;
};

// The row a change or a delete was meant for is no longer in the book; nothing was written.
class MissingRowError : public DatabaseError
{
public:
    using DatabaseError::DatabaseError;
};

// A write of a record dated in a closed month, or a closing the book refuses; nothing was
// written.
class ClosedMonthError : public QuenvaleError
{
public:
    using QuenvaleError::QuenvaleError;
};

// A value typed by the operator did not convert (number, date).
class ConversionError : public QuenvaleError
{
public:
    using QuenvaleError::QuenvaleError;
};

// The settings store could not be read or written.
class SettingsError : public QuenvaleError
{
public:
    using QuenvaleError::QuenvaleError;
};

// Another user changed or deleted what the operator was shown since it was read; nothing was
// written, and the text says what the book holds now.
class ConflictError : public QuenvaleError
{
public:
    using QuenvaleError::QuenvaleError;
};

// A Chinese explanation of what went wrong and what to do, for the system failures an
// operator meets (full disk, read-only book, book in use, a lost server connection), with the
// system's own text after it. Other texts come back unchanged.
QString explainedFailure(const QString& detail);
// The same for a file that could not be written (export, copy): the reason is often unknown.
QString explainedFileFailure(const QString& detail);
