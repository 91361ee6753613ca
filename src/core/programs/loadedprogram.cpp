#include "core/programs/loadedprogram.h"

#include <utility>

void LoadedProgram::load(QByteArray bytes, const ProgramSource &source)
{
    m_bytes = std::move(bytes);
    m_source = source;
    const bool was = std::exchange(m_changed, false);
    emit loaded();
    if (was) emit changedChanged(false);
}

void LoadedProgram::edit(QByteArray text)
{
    if (text == m_bytes) return;
    if (m_source.kind == ProgramSource::Kind::None) m_source = ProgramSource::typed();
    m_bytes = std::move(text);
    if (!std::exchange(m_changed, true)) emit changedChanged(true);
}

void LoadedProgram::takeFrom(LoadedProgram &other)
{
    m_bytes = std::exchange(other.m_bytes, {});
    m_source = std::exchange(other.m_source, {});
    const bool was = m_changed;
    m_changed = std::exchange(other.m_changed, false);
    emit loaded();
    emit other.loaded();
    if (was != m_changed) emit changedChanged(m_changed);
    emit other.changedChanged(false);
}
