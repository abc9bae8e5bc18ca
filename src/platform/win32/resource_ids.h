// Resource ids shared by the resource script and the code.
#pragma once

#define KV_IDI_PROGRAM 1  // the program icon; the lowest id, so the shell shows it
#define KV_IDI_ABOUT 2    // the About window's own title-bar icon
#define KV_LABELS_MANIFEST 100  // the activation context the labels are created in
