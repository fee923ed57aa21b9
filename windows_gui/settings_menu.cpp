#include "windows_gui/settings_menu.h"

#include <cstddef>

#include "engine/settings.h"
#include "windows_gui/resources/resource_ids.h"

struct MenuChoice {
    uint32_t value;
    uint32_t id;
};

// In menu order. The "Tracks" ids are not: "2" came last and got 40012.
static const MenuChoice trackCountItems[] = {
    {1, IDM_TRACKS_1},   {2, IDM_TRACKS_2},   {12, IDM_TRACKS_12}, {24, IDM_TRACKS_24},
    {36, IDM_TRACKS_36}, {48, IDM_TRACKS_48}, {60, IDM_TRACKS_60}, {72, IDM_TRACKS_72},
};
static const MenuChoice readRequestItems[] = {
    {32768, IDM_READ_32K},   {65536, IDM_READ_64K},   {131072, IDM_READ_128K},
    {262144, IDM_READ_256K}, {524288, IDM_READ_512K},
};
static const MenuChoice writeRequestItems[] = {
    {32768, IDM_WRITE_32K},   {65536, IDM_WRITE_64K},   {131072, IDM_WRITE_128K},
    {262144, IDM_WRITE_256K}, {524288, IDM_WRITE_512K},
};

template <size_t count>
static bool findChoice(const MenuChoice (&items)[count], uint32_t id, uint32_t& value)
{
    for (const MenuChoice& item : items) {
        if (item.id != id) continue;
        value = item.value;
        return true;
    }
    return false;
}

MenuCommand findMenuCommand(uint32_t id)
{
    MenuCommand command = {id, menuNoAction, 0};
    if (id == IDM_WRITE_TEST)
        command.action = menuWriteTest;
    else if (id == IDM_READ_TEST)
        command.action = menuReadTest;
    else if (id == IDM_EXIT)
        command.action = menuExit;
    else if (findChoice(trackCountItems, id, command.value))
        command.action = menuTrackCount;
    else if (findChoice(readRequestItems, id, command.value))
        command.action = menuReadRequestSize;
    else if (findChoice(writeRequestItems, id, command.value))
        command.action = menuWriteRequestSize;
    return command;
}

template <size_t count>
static void selectChoice(const MenuChoice (&items)[count], uint32_t& field, uint32_t value,
                         MenuCheckMark mark)
{
    for (const MenuChoice& item : items) mark(item.id, false);
    field = value;
    for (const MenuChoice& item : items)
        if (item.value == field) mark(item.id, true);
}

void selectTrackCount(uint32_t trackCount, MenuCheckMark mark)
{
    selectChoice(trackCountItems, TestSettings.trackCount, trackCount, mark);
}

void selectReadRequestSize(uint32_t requestSize, MenuCheckMark mark)
{
    selectChoice(readRequestItems, TestSettings.readRequestSize, requestSize, mark);
}

void selectWriteRequestSize(uint32_t requestSize, MenuCheckMark mark)
{
    selectChoice(writeRequestItems, TestSettings.writeRequestSize, requestSize, mark);
}
