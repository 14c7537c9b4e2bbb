// placeholder replaced by the worker's Win32 realisation
