#pragma once
// Removes upward spikes from a series of samples (the point speeds of a track).

// samples: count floats, stride floats apart. A sample above factor x the mean of the other 2k
// samples of its window, and above that mean, becomes that mean. The window of the first k
// samples is samples 0..2k, of the last k + 1 samples the last 2k + 1, of the others the 2k + 1
// centred on them; means already include the replacements made before. A series shorter than
// 2k + 1 works with k = (count - 1) / 2; nothing happens when that is 0.
void ClipSpikes(float* samples, int stride, int count, int k, float factor);
