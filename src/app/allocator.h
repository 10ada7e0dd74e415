#pragma once

// Keeps picture-sized buffers in the process instead of handing them back to
// the system after every composition. Call once, first thing in main().
void keepPictureBuffersInProcess();
