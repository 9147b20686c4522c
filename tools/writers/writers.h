// Writers of the files the system reads: LightWave objects and scenes, 3DF textures,
// PNG images. Used by the tools, the tests and the fuzz seeds.
#pragma once
