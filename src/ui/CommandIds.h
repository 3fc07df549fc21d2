#pragma once

// Command ids of the menus, the toolbar and the accelerators. Routing, enabling and tests speak of
// commands by these numbers.
namespace korimbo::cmd {

enum Id : int {
    RegisterFolder = 32877,
    Open = 32878,
    TakeOut = 32880,               // decrypted copies
    AttachToMail = 32882,          // decrypted copies, drag only
    DecryptOnly = 32884,
    TakeOutEncrypted = 32886,      // copies of the containers
    TakeOutWithOtherPassword = 32888,
    AttachWithNewPassword = 32890, // containers under another password, drag only
    ReleaseFolder = 32892,
    Delete = 32894,
    Rename = 32896,
    Properties = 32898,
    InsideCut = 32905,
    InsideCopy = 32906,
    Paste = 32909,
    SelectAll = 32910,
    UpOneLevel = 32917,
    WriteBackSelectedCopies = 32920,
    WriteBackAll = 32921,
    Backup = 32924,
    Settings = 32926,
    Undo = 32927,
    Help = 32929,
    ViewIcons = 32938,
    ViewDetails = 32941,
    ViewToggle = 32942,
    OpenByEnter = 32948,
    Logout = 32955,
    Login = 32956,
    EraseSelectedCopies = 32969,
    NoWatch = 32973,
    ChangePasswords = 32975,
    ImportBackup = 32981,
    PlainFileCheck = 32990,
    AdminPassword = 32994,
    HintWindow = 32997,
    Stop = 33004,
    Version = 33005,
    HomePage = 33013,
    Refresh = 33015,
    DragTakeOutEncrypted = 33026,
    IntegrityScan = 33030,
    Exit = 57665,

    // The folder tree's pop-up and its drop menus.
    TreeRelease = 32800,
    TreeCut = 32867,
    TreeCopy = 32865,
    TreePaste = 32869,
    TreeDelete = 32831,
    TreeProperties = 32863,
    DropRegister = 32828,
    DropCancel = 32824,
    DropEncryptCopy = 32821,
    DropEncryptMove = 32825,
    DropInsideCopy = 32811,
    DropInsideMove = 32812,

    // The submenu "新規作成(&W)" of the file menu and of the list's pop-up: a folder, one item per new-file
    // type (NewFileFirst + its index in the type list, at most 30), and the settings entry.
    NewFolder = 32846,
    NewFileSettings = 32847,
    NewFileFirst = 63201,

    // The contents list's pop-up: open, open with one of the type's programs (OpenWithFirst + its index,
    // at most kMaxPrograms) or a chosen one, encrypt the selected plain files, take them out as they are.
    PopupOpen = 32788,
    OpenWithChooser = 32842,
    OpenWithFirst = 63101,
    EncryptPlain = 32830,
    TakeOutAsTheyAre = 32834,

    // The decrypted-file list's pop-up.
    WriteBackSelected = 32861,
    WriteBackAllFromList = 32840,
    GoToContainer = 32961,

    // The take-out window's pop-up: copy or move the staged items to a folder chosen in a folder dialog.
    TakeOutCopyTo = 33101,
    TakeOutMoveTo = 33102,

    // The search by plain name (the view menu and Ctrl+F).
    FindByName = 33031,
};

inline constexpr int kMaxPrograms = 20;

} // namespace korimbo::cmd
