#pragma once

namespace korimbo {

// Catalogue A numbers by what they say, each declared once for every floor. Containers first, then
// folders, the work area and start-up.
namespace msg {
inline constexpr int kStopped = 334;             // stopped on the user's request
inline constexpr int kEncryptFailed = 335;       // + source path
inline constexpr int kDecryptFailed = 336;       // + container path
inline constexpr int kSourceOpen = 339;          // the source cannot be opened
inline constexpr int kDestinationOpen = 340;     // the destination cannot be created
inline constexpr int kSourceRead = 341;          // reading the source failed
inline constexpr int kDestinationWrite = 342;    // writing the destination failed
inline constexpr int kSourceGone = 343;          // the source vanished during the operation
inline constexpr int kDestinationMissing = 344;  // the destination was not made
inline constexpr int kDestinationSize = 345;     // the destination's size cannot be read
inline constexpr int kSizeMismatch = 346;        // the destination has the wrong size
inline constexpr int kDecryptBusy = 368;         // another engine operation runs
inline constexpr int kBodyDamaged = 379;         // the body cannot be expanded
inline constexpr int kContainerOpen = 384;       // a container cannot be opened
inline constexpr int kRenameWrite = 394;         // writing the renamed container failed
inline constexpr int kNoFreeKeySlot = 412;       // all key slots are in use
inline constexpr int kVerifyOpen = 425;          // a new container cannot be opened for its check
inline constexpr int kVerifyFailed = 426;        // a new container failed its check
inline constexpr int kTailMismatch = 441;        // the decrypted tail differs from the recorded one
inline constexpr int kAttributes = 450;          // file attributes cannot be read or changed
inline constexpr int kNoUniqueName = 451;        // no GUID for a file name
inline constexpr int kUnrepresentableName = 654; // a file name that is not valid text

// Folders, the work area and start-up.
inline constexpr int kTargetOpen = 56;           // a container of the same name at the target is open
inline constexpr int kCannotTakeIn = 66;         // + an item that is neither a file nor a folder
inline constexpr int kNoWorkSpace = 82;          // the work folder's disk has no room for the plaintext
inline constexpr int kPlainCopyLeft = 83;        // a decrypted scratch copy could not be removed
inline constexpr int kStoppedKeepingDone = 105;  // stopped; what was done before stays
inline constexpr int kNotInTrash = 168;          // + the item the undo looked for
inline constexpr int kReadOnlyFolder = 316;      // the folder is registered read-only
inline constexpr int kNotRestored = 459;         // an item could not come back from the trash
inline constexpr int kNotDeleted = 461;          // an item could not be deleted for good
inline constexpr int kHintIsPassword = 593;      // the hint is the password itself
inline constexpr int kFileUnreadable = 621;      // a file cannot be read (held elsewhere, or no right)
inline constexpr int kLeftAsTheyAre = 720;       // + links and special files left unopened
inline constexpr int kFoldersUnread = 721;       // + folders that could not be read
} // namespace msg

} // namespace korimbo
