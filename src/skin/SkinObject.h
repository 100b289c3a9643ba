#pragma once

// Base of every object the skin engine hands out. GUI thread only.

#include <QString>

namespace skin {

class SkinObject
{
public:
    SkinObject() = default;
    virtual ~SkinObject() = default;
    SkinObject(const SkinObject&) = delete;
    SkinObject& operator=(const SkinObject&) = delete;
    SkinObject(SkinObject&&) = delete;
    SkinObject& operator=(SkinObject&&) = delete;

    // A name for tests and diagnostics; SkinEngine::FindRichText looks objects up by it.
    void SetObjectName(const QString& name) { m_objectName = name; }
    const QString& ObjectName() const { return m_objectName; }

private:
    QString m_objectName;
};

} // namespace skin
