#pragma once
// The dialog templates as data: caption, size and controls in dialog units.
