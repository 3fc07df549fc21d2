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
inline constexpr int kTargetOpen = 56;          // a container of the same name at the target is open
inline constexpr int kCannotTakeIn = 66;        // + an item that is neither a file nor a folder
inline constexpr int kNoWorkSpace = 82;         // the work folder's disk has no room for the plaintext
inline constexpr int kPlainCopyLeft = 83;       // a decrypted scratch copy could not be removed
inline constexpr int kStoppedKeepingDone = 105; // stopped; what was done before stays
inline constexpr int kNotInTrash = 168;         // + the item the undo looked for
inline constexpr int kReadOnlyFolder = 316;     // the folder is registered read-only
inline constexpr int kNotRestored = 459;        // an item could not come back from the trash
inline constexpr int kNotDeleted = 461;         // an item could not be deleted for good
inline constexpr int kHintIsPassword = 593;     // the hint is the password itself
inline constexpr int kFileUnreadable = 621;     // a file cannot be read (held elsewhere, or no right)
inline constexpr int kLeftAsTheyAre = 720;      // + links and special files left unopened
inline constexpr int kFoldersUnread = 721;      // + folders that could not be read

// Inside operations: cut, copy, paste, drops, rename, delete and undo.
inline constexpr int kTrashOne = 1;
inline constexpr int kPermanentOne = 2;
inline constexpr int kFolderExists = 35;
inline constexpr int kFolderRename = 36;
inline constexpr int kRenameOpenBelow = 37;
inline constexpr int kRenameNotVerified = 38;
inline constexpr int kRenameOpen = 39;
inline constexpr int kRenameNameTaken = 40;
inline constexpr int kRenameSize = 41;
inline constexpr int kRenameOldLeft = 42;
inline constexpr int kTrashMany = 44;
inline constexpr int kPermanentMany = 45;
inline constexpr int kDeleteOpenBelow = 46;
inline constexpr int kDeleteOpen = 47;
inline constexpr int kDragOpen = 55;
inline constexpr int kItemGone = 103;
inline constexpr int kPasteOpenBelow = 104;
inline constexpr int kCopyOrMoveSize = 108;
inline constexpr int kCopyTail = 109;
inline constexpr int kMoveSize = 110;
inline constexpr int kMoveCopySize = 111;
inline constexpr int kMoveSourceLeft = 112;
inline constexpr int kContainerInWay = 169;
inline constexpr int kFolderInWay = 170;
inline constexpr int kOpenContainerInWay = 171;
inline constexpr int kOpenFolderInWay = 172;
inline constexpr int kUndoItemGone = 173;
inline constexpr int kUndoCopyQuestion = 179;
inline constexpr int kNotRegistered = 190;
inline constexpr int kBadName = 290;
inline constexpr int kIntoItself = 312;
inline constexpr int kIntoOwnSubfolder = 313;
inline constexpr int kFolderAlreadyThere = 314;
inline constexpr int kFileAlreadyThere = 315;
inline constexpr int kTrashUnreadable = 458;
inline constexpr int kToTrash = 460;
inline constexpr int kParentFolder = 640;
inline constexpr int kPasteOpen = 704;
inline constexpr int kSpecialNotMoved = 722;

// Encrypt-in and the items coming in.
inline constexpr int kFolderCreate = 20;
inline constexpr int kNewerInFolder = 21;
inline constexpr int kNoticeInFolderHead = 22;
inline constexpr int kNoticeInFolderTail = 23;
inline constexpr int kNoRootInFolder = 24;
inline constexpr int kCopySizeInFolder = 25;
inline constexpr int kEncryptSizeInFolder = 26;
inline constexpr int kSameSourceName = 27;
inline constexpr int kDestinationNotRegistered = 57;
inline constexpr int kFileNamedLikeFolder = 58;
inline constexpr int kInUse = 60;
inline constexpr int kWorkingCopyTail = 61;
inline constexpr int kWorkingCopy = 62;
inline constexpr int kFolderDelete = 63;
inline constexpr int kSourceFolderHead = 64;
inline constexpr int kSourceFolderTail = 65;
inline constexpr int kNewer = 67;
inline constexpr int kNoticeHead = 68;
inline constexpr int kNoticeTail = 69;
inline constexpr int kPlainSameName = 70;
inline constexpr int kFolderSameName = 71;
inline constexpr int kOpenInWorkspace = 73;
inline constexpr int kCopiedSize = 74;
inline constexpr int kEncryptSize = 75;
inline constexpr int kSourceNotDeleted = 76;
inline constexpr int kMoveSourceGone = 77;
inline constexpr int kOtherPassword = 78;
inline constexpr int kTooManyTries = 79;
inline constexpr int kContainerWrongPassword = 80;
inline constexpr int kPlainQuestion = 115;
inline constexpr int kPlainCheck = 116;
inline constexpr int kPlainTempFolder = 117;
inline constexpr int kPlainMove = 118;
inline constexpr int kAttributesNotSet = 275;
inline constexpr int kSkippedHead = 644;
inline constexpr int kSkippedTail = 645;
inline constexpr int kSourceChangedKept = 701;
inline constexpr int kSpecialSkipped = 740;

// Name files, the contents list and new items.
inline constexpr int kFolderNotMade = 33;
inline constexpr int kNoNameFileLine = 43; // a file of the directory has no line in its name file
inline constexpr int kFileNotMade = 98;
inline constexpr int kTemplateNotCopied = 99;
inline constexpr int kNameFileNotDeleted = 281;     // an empty name file cannot be deleted
inline constexpr int kNameFileDamaged = 282;        // the name file does not decipher to its header
inline constexpr int kNameFileBadLine = 283;        // a line without its last field is not written
inline constexpr int kNameFileNotRead = 284;        // the name file cannot be read
inline constexpr int kNameFileNotWritable = 285;    // its read-only attribute cannot be cleared
inline constexpr int kNameFileNotWritten = 286;     // it cannot be written
inline constexpr int kNameFileReadOnlyFailed = 287; // its read-only attribute cannot be set again
inline constexpr int kNameFileBadOnLoad = 288;      // the name file does not begin with its header on loading
inline constexpr int kOutsideRegistered = 300;      // the directory lies in no registered folder
inline constexpr int kListedWithoutNameFile = 303;  // a directory under no registered folder

// Working copies and login.
inline constexpr int kUnusable = 3;
inline constexpr int kNoProgram = 4;
inline constexpr int kCopyFolder = 5;
inline constexpr int kAlreadyDecrypted = 6;
inline constexpr int kLaunchFailed = 7;
inline constexpr int kWatchFull = 8;
inline constexpr int kUnreachable = 28;
inline constexpr int kEraseUnchanged = 29;
inline constexpr int kReadOnlyChangedHead = 30;
inline constexpr int kReadOnlyChangedTail = 31;
inline constexpr int kEraseReadOnly = 32;
inline constexpr int kLoggingIn = 151;
inline constexpr int kReadOnlyNotice = 152;
inline constexpr int kNoFolder = 156;
inline constexpr int kNoContainer = 162;
inline constexpr int kLoginInvalidPassword = 163;
inline constexpr int kLoginWrongPassword = 164;
inline constexpr int kLogoutQuestion = 259;
inline constexpr int kContainerMissing = 268;
inline constexpr int kCopyMissing = 269;
inline constexpr int kContainerTime = 270;
inline constexpr int kCopyTime = 272;
inline constexpr int kErasing = 636;
inline constexpr int kWritingBack = 637;
inline constexpr int kConflictCopy = 702;

// Registration of folders and start-up.
inline constexpr int kEnvironmentFolder = 142;
inline constexpr int kLeftWorkingCopies = 143;
inline constexpr int kSettingsNotSaved = 154;
inline constexpr int kWorkFolderNotSaved = 155;
inline constexpr int kCreationAreaNotEmptied = 201;
inline constexpr int kPathTooLong = 222;
inline constexpr int kPathTooLongHead = 223;
inline constexpr int kTableFull = 224;
inline constexpr int kRegistrationNoRoot = 225;
inline constexpr int kRamDisk = 227;
inline constexpr int kUnsuitableDrive = 228;
inline constexpr int kSystemFolder = 229;
inline constexpr int kProgramFolder = 230;
inline constexpr int kAlreadyRegistered = 231;
inline constexpr int kInsideRegistered = 232;
inline constexpr int kContainsRegistered = 233;
inline constexpr int kHasFiles = 234;
inline constexpr int kReleaseQuestion = 236;
inline constexpr int kReleaseBlocked = 237;
inline constexpr int kOpticalTail = 245;
inline constexpr int kOptical = 246;
inline constexpr int kOtherDrive = 247;
inline constexpr int kRegistrationInvalidPassword = 251;
inline constexpr int kRegistrationWrongPassword = 421;
inline constexpr int kNotContainer = 423;
inline constexpr int kNewerContainer = 424;
inline constexpr int kProbeFailed = 631;
inline constexpr int kTakeOutAreaNotEmptied = 634;
inline constexpr int kNoPrivatePlainFolder = 780;
} // namespace msg

} // namespace korimbo
