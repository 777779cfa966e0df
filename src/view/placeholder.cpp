// Windows come with the main-window work.
