// Holds the window's built-in icon, compiled in as a resource.
