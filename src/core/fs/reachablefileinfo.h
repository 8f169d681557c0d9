#pragma once

#include "fs/platform.h"

#include <QFileInfo>

namespace ReachableFileInfoDetail {
struct Holder
{
    explicit Holder(const QString& path) : m_reachable(path) {}
    Platform::ReachablePath m_reachable;
};
} // namespace ReachableFileInfoDetail

// A QFileInfo that reaches its entry whatever the length of the path. Over the system's limit
// it is the info of a short form that is valid only while this lives, so it is never copied
// out: names (fileName) are as given, but take paths from the original text.
class ReachableFileInfo : private ReachableFileInfoDetail::Holder, public QFileInfo
{
public:
    explicit ReachableFileInfo(const QString& path) : Holder(path), QFileInfo(m_reachable.text()) {}
    ReachableFileInfo(const ReachableFileInfo&) = delete;
    ReachableFileInfo& operator=(const ReachableFileInfo&) = delete;
};
