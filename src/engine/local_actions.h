#pragma once
// The actions that work on the local machine: run a program, save the
// message's attachments, save message data to a file, sound the alert. Each
// takes its action's properties and the agent run's field map, reports
// through context.log and returns only whether it failed (a program not
// started, a file not written): a failing action never stops the agent's
// next one. Called on the processing thread by the agent run.

#include "config/mail_agent.h"
#include "engine/action_context.h"
#include "engine/field_map.h"

namespace quor {

// "Run an External Program": logs the command line (program, a blank, the
// substituted arguments) and starts it without a shell (ProgramLauncher). The
// line is split as the agent's text was typed and filled in afterwards: each
// token's value is part of the argument where the token stands, so quotes or
// blanks from a message never add or merge arguments. A program that cannot
// be started logs "ERROR: Executing program (<program>) -
// Code 0". With `wait` on, blocks until the program ends, at most
// context.program_wait_milliseconds; the program is collected when it ends
// either way.
ActionResult RunProgramAction(const AgentAction& action, const FieldMap& fields,
                              ActionContext& context);

// "Save Attachments": writes attachments 1 to n-1 of context.message (0 is the
// body) to `directory`/file name, under `basefile` or, with `usename`, the
// attachment's own name made safe by SafePartName, so a name from a message
// never leaves `directory`. With `usenumbering`, the first number 1..65534
// whose file does not exist yet is appended to the whole name (report.txt1);
// the search for the next part of the same name goes on from there. Missing
// folders of `directory` are created first (mode 0700, parents too); a file
// that still cannot be written logs "ERROR: writing file <path>" after its
// "Saving attachment" line, and the action fails.
ActionResult SaveAttachmentsAction(const AgentAction& action, const FieldMap& fields,
                                   ActionContext& context);

// "Save Message Data to a File": appends to or replaces `outfile` with the
// body (savemethod 0), a substituted template file (1) or the substituted
// inline lines (2), cut at the first zero byte. A symbolic link at `outfile`
// is never written through: "ERROR: can't open output file (<outfile>)".
ActionResult SaveDataAction(const AgentAction& action, const FieldMap& fields,
                            ActionContext& context);

// "Play a Sound": calls context.play_sound when the front end set one; logs
// nothing and never blocks.
ActionResult PlaySoundAction(const AgentAction& action, const FieldMap& fields,
                             ActionContext& context);

}  // namespace quor
