// The menu's command table and the three settings it changes, each shown as
// one check mark in its popup.
#pragma once
#include <cstdint>

enum MenuAction {
    menuNoAction,
    menuWriteTest,
    menuReadTest,
    menuExit,
    menuTrackCount,
    menuReadRequestSize,
    menuWriteRequestSize,
};

struct MenuCommand {
    uint32_t id;
    MenuAction action;
    uint32_t value;  // the setting chosen; 0 for the File commands
};

// What a command id does; ids outside the table give menuNoAction.
MenuCommand findMenuCommand(uint32_t id);

// Sets or removes one check mark, addressing the item by its command id: in
// the Windows program CheckMenuItem on the main menu.
typedef void (*MenuCheckMark)(uint32_t id, bool checked);

// Store the setting and move the check mark of its popup through mark: every
// item of the popup is unchecked first, then each item whose value equals the
// setting is checked. A value that no item has is stored all the same.
void selectTrackCount(uint32_t trackCount, MenuCheckMark mark);
void selectReadRequestSize(uint32_t requestSize, MenuCheckMark mark);
void selectWriteRequestSize(uint32_t requestSize, MenuCheckMark mark);
