// Names and ids of the program's resources (included by the .rc file too).
#pragma once

#define MAIN_ICON_NAME "TrakMonMainIcon"
#define MAIN_MENU_NAME "TrakMonMainMenu"

// String table: the start-up failures, by the code initApplication returns.
#define IDS_CLASS_REGISTRATION 1
#define IDS_WINDOW_CREATION 2
#define IDS_MEMORY_ALLOCATION 6

// File menu.
#define IDM_WRITE_TEST 1010
#define IDM_READ_TEST 1020
#define IDM_EXIT 1080

// Tracks: "1" is 40005, "2" is 40012, "12" .. "72" are 40006 .. 40011.
#define IDM_TRACKS_1 40005
#define IDM_TRACKS_12 40006
#define IDM_TRACKS_24 40007
#define IDM_TRACKS_36 40008
#define IDM_TRACKS_48 40009
#define IDM_TRACKS_60 40010
#define IDM_TRACKS_72 40011
#define IDM_TRACKS_2 40012

#define IDM_READ_32K 40013
#define IDM_READ_64K 40014
#define IDM_READ_128K 40015
#define IDM_READ_256K 40016
#define IDM_READ_512K 40017

#define IDM_WRITE_32K 40019
#define IDM_WRITE_64K 40020
#define IDM_WRITE_128K 40021
#define IDM_WRITE_256K 40022
#define IDM_WRITE_512K 40023
