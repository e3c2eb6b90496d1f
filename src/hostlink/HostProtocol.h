#pragma once

// The line protocol between doziduvov and the host simulator: one JSON object per line over the
// local socket named after the host's window class.
//
// Request:  {"id": n, "op": "...", ...arguments}
// Reply:    {"re": n, "v": value}   or   {"re": n, "err": "text"}
//           or {"re": n, "bin": size} followed by size bytes (a frame of command snapshots)
// Event:    {"ev": "executed" | "end" | "added", "index": i, "fullName": "...", "termination": t}
//
// A command's snapshot ("cmds") holds every member the program reads, so one answer serves all
// reads of that command; "get" reads one member for clients that fetch member by member. A client
// may send requests before the earlier ones are answered; answers come in the order asked.
namespace host::protocol {

inline constexpr char kServerName[] = "VextorinKorvexWndClass";

// Operations.
inline constexpr char kApp[] = "app";               // -> {"hasProgram", "version"}
inline constexpr char kProgram[] = "prog";          // -> {"partName", ..., "fullName"}
inline constexpr char kProgramGet[] = "prog.get";   // member -> value
inline constexpr char kCount[] = "count";           // -> number of commands
inline constexpr char kCommands[] = "cmds";         // from, count -> frame (HostSnapshot.h)
inline constexpr char kGet[] = "get";               // index, member [, arg] -> value
inline constexpr char kFieldText[] = "fieldText";   // index, field, arg -> text
inline constexpr char kGoPrevious[] = "goPrevious"; // index -> index of the previous command
inline constexpr char kPresent[] = "present";       // index
inline constexpr char kFind[] = "find";             // id1, id2 -> index or -1
inline constexpr char kSave[] = "save";
inline constexpr char kPlacement[] = "placement"; // dispid, value
inline constexpr char kSubscribe[] = "subscribe";
inline constexpr char kUnsubscribe[] = "unsubscribe";

// Events.
inline constexpr char kExecuted[] = "executed";
inline constexpr char kEnd[] = "end";
inline constexpr char kAdded[] = "added";

// A line or frame longer than this is a broken peer, not data.
inline constexpr qsizetype kMaxLineBytes = 64 * 1024 * 1024;

} // namespace host::protocol
