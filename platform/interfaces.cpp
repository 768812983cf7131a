// Anchors the interfaces' vtables in this library.
#include "platform/file_dialogs.h"
#include "platform/list_control.h"
#include "platform/message_boxes.h"
#include "platform/settings_store.h"
#include "platform/ui_thread.h"
#include "platform/window_port.h"
