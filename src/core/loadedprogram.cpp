#include "core/loadedprogram.h"

void LoadedProgram::load(QByteArray bytes, const ProgramSource &source)
{
    m_bytes = std::move(bytes);
    m_source = source;
    m_changed = false;
    emit loaded();
}

void LoadedProgram::edit(QByteArray text)
{
    if (text == m_bytes) return;
    if (m_source.kind == ProgramSource::Kind::None) m_source = ProgramSource::typed();
    m_bytes = std::move(text);
    m_changed = true;
}

void LoadedProgram::takeFrom(LoadedProgram &other)
{
    m_bytes = std::exchange(other.m_bytes, {});
    m_source = std::exchange(other.m_source, {});
    m_changed = std::exchange(other.m_changed, false);
    emit loaded();
    emit other.loaded();
}
