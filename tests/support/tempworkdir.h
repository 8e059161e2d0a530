#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A fresh, empty working directory for the life of a test: the place where
// COMn links are looked up. The old working directory comes back after.
class TemporaryWorkDir
{
public:
    TemporaryWorkDir()
        : m_oldDir(QDir::currentPath())
    {
        EXPECT_TRUE(m_dir.isValid());
        EXPECT_TRUE(QDir::setCurrent(m_dir.path()));
    }
    ~TemporaryWorkDir() { QDir::setCurrent(m_oldDir); }
    TemporaryWorkDir(const TemporaryWorkDir &) = delete;
    TemporaryWorkDir &operator=(const TemporaryWorkDir &) = delete;

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_oldDir;
};
