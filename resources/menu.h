#pragma once
// The menu "MYMENU" as data: its menus, items, texts with mnemonics, and command ids.
