// Rolling back a set that a writer left with its journal beside it: the
// writer died, or could neither commit nor roll back. Every open of a set,
// read-only ones included, recovers it first, so nobody reads half a session.
#ifndef KRO_ENGINE_WRITESESSION_SETRECOVERY_H
#define KRO_ENGINE_WRITESESSION_SETRECOVERY_H

#include "engine/EngineError.h"
#include "engine/fileaccess/Env.h"
#include "engine/writesession/SetFileTarget.h"

namespace kro {

// kEngineOk when no journal is there or the set was rolled back and the
// journal deleted. eGafCannotOpen when the journal or a file of the set
// cannot be opened for writing: another process holds the set (a live
// writer), or the files cannot be written; eGafJournalError when the journal
// is of another format or a restore step failed (the journal stays). The
// error names the journal and the step that failed.
EngineError RecoverFileSet(Env& env, const SetFileNames& names);

}  // namespace kro

#endif
