#include "core/programs/loadedprogram.h"

#include <utility>

void LoadedProgram::load(QByteArray bytes, const ProgramSource &source)
{
    m_size = bytes.size();
    m_program = Program::fromFile(std::move(bytes));
    m_source = source;
    const bool was = std::exchange(m_changed, false);
    emit loaded();
    if (was) emit changedChanged(false);
}

void LoadedProgram::edit(QByteArray text)
{
    if (text == m_program.text()) return;
    if (m_source.kind == ProgramSource::Kind::None) m_source = ProgramSource::typed();
    m_size = text.size();
    m_program = Program::fromFile(std::move(text));
    if (!std::exchange(m_changed, true)) emit changedChanged(true);
}

void LoadedProgram::takeFrom(LoadedProgram &other)
{
    m_program = std::exchange(other.m_program, Program::fromFile({}));
    m_size = std::exchange(other.m_size, 0);
    m_source = std::exchange(other.m_source, {});
    const bool was = m_changed;
    m_changed = std::exchange(other.m_changed, false);
    emit loaded();
    emit other.loaded();
    if (was != m_changed) emit changedChanged(m_changed);
    emit other.changedChanged(false);
}
