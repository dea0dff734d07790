#pragma once
// Names of the action properties that a configuration check looks at, as the
// agents file stores them (Action<j>.prop<k>.name) and the actions read them.

namespace quor::action_property {

inline constexpr char kMailTo[] = "mailto";              // send, forward: the recipients
inline constexpr char kTemplate[] = "message";           // send: the template file
inline constexpr char kAttachCount[] = "attachCount";    // send: attachments
inline constexpr char kAttachPrefix[] = "attach";        // send: attach0, attach1, ...
inline constexpr char kProgram[] = "program";            // run a program
inline constexpr char kDirectory[] = "directory";        // save attachments
inline constexpr char kOutputFile[] = "outfile";         // save data
inline constexpr char kSaveMethod[] = "savemethod";      // save data: 1 is a template file
inline constexpr char kTemplateFile[] = "templatefile";  // save data

// The savemethod value that writes a substituted template file.
inline constexpr int kSaveTemplateMethod = 1;

}  // namespace quor::action_property
