<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>ChoosePage</name>
    <message>
        <source>Rest the pointer on an effect, or press P, to see it play</source>
        <translation>Deje el puntero sobre un efecto, o pulse P, para verlo en movimiento</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vista previa</translation>
    </message>
    <message>
        <source>Play the ticked effect (P)</source>
        <translation>Reproducir el efecto marcado (P)</translation>
    </message>
    <message>
        <source>Preview: %1</source>
        <translation>Vista previa: %1</translation>
    </message>
</context>
<context>
    <name>ClipBar</name>
    <message>
        <source>Where the GIF begins in the clip (minutes:seconds)</source>
        <translation>Dónde empieza el GIF en el clip (minutos:segundos)</translation>
    </message>
    <message>
        <source>&amp;From</source>
        <translation>&amp;Desde</translation>
    </message>
    <message>
        <source>Where the GIF ends in the clip (minutes:seconds)</source>
        <translation>Dónde termina el GIF en el clip (minutos:segundos)</translation>
    </message>
    <message>
        <source>&amp;to</source>
        <translation>&amp;hasta</translation>
    </message>
    <message>
        <source> fps</source>
        <translation> fps</translation>
    </message>
    <message>
        <source>Frames a second taken from the clip</source>
        <translation>Fotogramas por segundo tomados del clip</translation>
    </message>
    <message numerus="yes">
        <source>%n frames</source>
        <translation>
            <numerusform>%n fotograma</numerusform>
            <numerusform>%n fotogramas</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FormBatch</name>
    <message>
        <source>Please open an animated GIF file</source>
        <translation>Abra un archivo GIF animado</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Atrás</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Siguiente</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Guardar</translation>
    </message>
    <message>
        <source>Back to the previous step</source>
        <translation>Volver al paso anterior</translation>
    </message>
    <message>
        <source>Go on to the next step</source>
        <translation>Continuar al paso siguiente</translation>
    </message>
    <message>
        <source>Save the sketch GIF</source>
        <translation>Guardar el GIF dibujado</translation>
    </message>
    <message>
        <source>Menu Bar</source>
        <translation>Barra de menús</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>Paso</translation>
    </message>
    <message>
        <source>Step 1: Open a GIF file</source>
        <translation>Paso 1: abrir un archivo GIF</translation>
    </message>
    <message>
        <source>Commands</source>
        <translation>Órdenes</translation>
    </message>
    <message>
        <source>Please wait...</source>
        <translation>Espere…</translation>
    </message>
    <message>
        <source>Stop this work</source>
        <translation>Detener este trabajo</translation>
    </message>
    <message>
        <source>Step 1: Please open a GIF file</source>
        <translation>Paso 1: abra un archivo GIF</translation>
    </message>
    <message>
        <source>Step 2: Please select an effect, then click Next</source>
        <translation>Paso 2: seleccione un efecto y pulse «Siguiente»</translation>
    </message>
    <message>
        <source>Step 3: Click Save to save the GIF file.</source>
        <translation>Paso 3: pulse «Guardar» para guardar el archivo GIF.</translation>
    </message>
    <message>
        <source>&amp;Options ●</source>
        <translation>&amp;Opciones ●</translation>
    </message>
    <message>
        <source>GIF File (*.gif)</source>
        <translation>Archivo GIF (*.gif)</translation>
    </message>
    <message>
        <source>The file is damaged after frame %1; %2 frames were read.</source>
        <translation>El archivo está dañado después del fotograma %1; se leyeron %2 fotogramas.</translation>
    </message>
    <message>
        <source>The GIF file could not be converted.

%1</source>
        <translation>No se pudo convertir el archivo GIF.

%1</translation>
    </message>
    <message>
        <source>The converted GIF cannot be shown.

%1</source>
        <translation>No se puede mostrar el GIF convertido.

%1</translation>
    </message>
    <message>
        <source>Animated WebP (*.webp)</source>
        <translation>WebP animado (*.webp)</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 ya existe.
¿Quiere reemplazarlo?</translation>
    </message>
    <message>
        <source>The GIF file could not be saved.

%1</source>
        <translation>No se pudo guardar el archivo GIF.

%1</translation>
    </message>
    <message>
        <source>The WebP file could not be saved.

%1</source>
        <translation>No se pudo guardar el archivo WebP.

%1</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Configuración</translation>
    </message>
    <message>
        <source>Updating the previews…</source>
        <translation>Actualizando las vistas previas…</translation>
    </message>
    <message>
        <source>Restore defaults</source>
        <translation>Restablecer valores predeterminados</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Opciones</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O)</source>
        <translation>Mostrar las opciones del efecto (Alt+O)</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vista previa</translation>
    </message>
    <message>
        <source>Saving the GIF file...</source>
        <translation>Guardando el archivo GIF…</translation>
    </message>
    <message>
        <source>Stop the work in progress and open %1?</source>
        <translation>¿Detener el trabajo en curso y abrir %1?</translation>
    </message>
    <message numerus="yes">
        <source>%1 × %2 pixels, %n frames, %3 s, %4</source>
        <translation>
            <numerusform>%1 × %2 píxeles, %n fotograma, %3 s, %4</numerusform>
            <numerusform>%1 × %2 píxeles, %n fotogramas, %3 s, %4</numerusform>
        </translation>
    </message>
    <message>
        <source>Saving the WebP file...</source>
        <translation>Guardando el archivo WebP…</translation>
    </message>
    <message>
        <source>All supported files (%1)</source>
        <translation>Todos los archivos compatibles (%1)</translation>
    </message>
    <message>
        <source>Animated PNG (%1)</source>
        <translation>PNG animado (%1)</translation>
    </message>
    <message>
        <source>Videos (%1)</source>
        <translation>Vídeos (%1)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Todos los archivos (*)</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O): 1 option differs from the defaults</source>
        <translation>Mostrar las opciones del efecto (Alt+O): 1 opción difiere del valor predeterminado</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O): %1 options differ from the defaults</source>
        <translation>Mostrar las opciones del efecto (Alt+O): %1 opciones difieren de los valores predeterminados</translation>
    </message>
    <message>
        <source>Open a GIF, an animated WebP or a video clip</source>
        <translation>Abrir un GIF, un WebP animado o un clip de vídeo</translation>
    </message>
    <message>
        <source>No web browser could be started. The address of the web site is:
%1</source>
        <translation>No se pudo iniciar ningún navegador web. La dirección del sitio web es:
%1</translation>
    </message>
    <message>
        <source>This file cannot be opened as an animation.

%1</source>
        <translation>Este archivo no se puede abrir como animación.

%1</translation>
    </message>
    <message>
        <source>Making the GIF fit under %1...</source>
        <translation>Ajustando el GIF a menos de %1…</translation>
    </message>
    <message>
        <source>MP4 video (*.mp4)</source>
        <translation>Vídeo MP4 (*.mp4)</translation>
    </message>
    <message>
        <source>WebM video (*.webm)</source>
        <translation>Vídeo WebM (*.webm)</translation>
    </message>
    <message>
        <source>Saving the video file...</source>
        <translation>Guardando el archivo de vídeo...</translation>
    </message>
    <message>
        <source>The video file could not be saved.

%1</source>
        <translation>No se pudo guardar el archivo de vídeo.

%1</translation>
    </message>
</context>
<context>
    <name>OpenPage</name>
    <message>
        <source>Click Here to Open Your GIF File</source>
        <translation>Pulse aquí para abrir su archivo GIF</translation>
    </message>
    <message>
        <source>Quillframe %1 — hand-drawn animations from your GIFs</source>
        <translation>Quillframe %1 — animaciones dibujadas a mano a partir de sus GIF</translation>
    </message>
    <message>
        <source>or drop a GIF, an animated WebP or a video clip anywhere on this window</source>
        <translation>o suelte un GIF, un WebP animado o un clip de vídeo en cualquier parte de esta ventana</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>the folder %1 does not exist</source>
        <translation>la carpeta %1 no existe</translation>
    </message>
    <message>
        <source>this folder does not accept new files</source>
        <translation>esta carpeta no admite archivos nuevos</translation>
    </message>
    <message>
        <source>you have no permission to write into this folder</source>
        <translation>no tiene permiso para escribir en esta carpeta</translation>
    </message>
    <message>
        <source>the disk of this folder is read-only</source>
        <translation>el disco de esta carpeta es de solo lectura</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>el disco está lleno</translation>
    </message>
    <message>
        <source>the save was stopped</source>
        <translation>se detuvo el guardado</translation>
    </message>
    <message>
        <source>Cannot check for another running Quillframe window:
%1</source>
        <translation>No se puede comprobar si hay otra ventana de Quillframe abierta:
%1</translation>
    </message>
    <message>
        <source>permission denied</source>
        <translation>permiso denegado</translation>
    </message>
    <message>
        <source>the lock file cannot be written</source>
        <translation>no se puede escribir el archivo de bloqueo</translation>
    </message>
    <message>
        <source>it is not a folder</source>
        <translation>no es una carpeta</translation>
    </message>
    <message>
        <source>it belongs to another user</source>
        <translation>pertenece a otro usuario</translation>
    </message>
    <message>
        <source>the folder cannot be created</source>
        <translation>no se puede crear la carpeta</translation>
    </message>
    <message>
        <source>Save the sketch GIF</source>
        <translation>Guardar el GIF dibujado</translation>
    </message>
    <message>
        <source>Open a GIF, an animated WebP or a video clip</source>
        <translation>Abrir un GIF, un WebP animado o un clip de vídeo</translation>
    </message>
</context>
<context>
    <name>ResultPage</name>
    <message>
        <source>Fit under:</source>
        <translation>Tamaño máximo:</translation>
    </message>
    <message>
        <source>Original</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Personalizado</translation>
    </message>
    <message>
        <source>Use the original size</source>
        <translation>Usar el tamaño original</translation>
    </message>
    <message>
        <source>Convert again without a size limit</source>
        <translation>Convertir de nuevo sin límite de tamaño</translation>
    </message>
    <message>
        <source>Made to fit under %1.</source>
        <translation>Ajustado a menos de %1.</translation>
    </message>
    <message>
        <source>quality %1</source>
        <translation>calidad %1</translation>
    </message>
    <message>
        <source>1 frame in %1</source>
        <translation>1 fotograma de cada %1</translation>
    </message>
    <message>
        <source>shrunk to %1%</source>
        <translation>reducido al %1 %</translation>
    </message>
    <message>
        <source>Made to fit under %1: %2.</source>
        <translation>Ajustado a menos de %1: %2.</translation>
    </message>
</context>
<context>
    <name>ViewerControls</name>
    <message>
        <source>Pause</source>
        <translation>Pausar</translation>
    </message>
    <message>
        <source>Play or pause (Space)</source>
        <translation>Reproducir o pausar (Espacio)</translation>
    </message>
    <message>
        <source>Next frame</source>
        <translation>Fotograma siguiente</translation>
    </message>
    <message>
        <source>Show the next frame (Right; Left goes back)</source>
        <translation>Mostrar el fotograma siguiente (Derecha; Izquierda retrocede)</translation>
    </message>
    <message>
        <source>1:1</source>
        <translation>1:1</translation>
    </message>
    <message>
        <source>Show at the real size, or fitted</source>
        <translation>Mostrar a tamaño real o ajustado</translation>
    </message>
    <message>
        <source>Before</source>
        <translation>Antes</translation>
    </message>
    <message>
        <source>Hold to see the original (or hold B)</source>
        <translation>Mantenga pulsado para ver el original (o mantenga B)</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Reproducir</translation>
    </message>
</context>
<context>
    <name>WorkPage</name>
    <message>
        <source>Please wait...</source>
        <translation>Espere…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Frame %1 of %2</source>
        <translation>Fotograma %1 de %2</translation>
    </message>
</context>
<context>
    <name>qf::Switches</name>
    <message>
        <source>Color Sketch</source>
        <translation>Boceto en color</translation>
    </message>
    <message>
        <source>Colour instead of grey sketch depth, dots and pencil layer (variant 2)</source>
        <translation>Color en lugar de gris para la profundidad del boceto, los puntos y la capa de lápiz (variante 2)</translation>
    </message>
    <message>
        <source>Sharpen</source>
        <translation>Enfocar</translation>
    </message>
    <message>
        <source>Sharpen the finished picture</source>
        <translation>Enfocar la imagen terminada</translation>
    </message>
    <message>
        <source>Mix similar color</source>
        <translation>Mezclar colores similares</translation>
    </message>
    <message>
        <source>Merge areas of similar colour into flat cartoon colours under the lines</source>
        <translation>Unir las zonas de color similar en colores planos de dibujo animado bajo las líneas</translation>
    </message>
    <message>
        <source>Adjust sketch depth</source>
        <translation>Ajustar la profundidad del boceto</translation>
    </message>
    <message>
        <source>Darken or lighten lines and dots to follow the frame&apos;s shading</source>
        <translation>Oscurecer o aclarar las líneas y los puntos según el sombreado del fotograma</translation>
    </message>
    <message>
        <source>Blur</source>
        <translation>Desenfocar</translation>
    </message>
    <message>
        <source>Soften the finished picture with a 2 x 2 box average (before sharpening)</source>
        <translation>Suavizar la imagen terminada con un promedio de 2 x 2 píxeles (antes de enfocar)</translation>
    </message>
    <message>
        <source>Still grain</source>
        <translation>Grano quieto</translation>
    </message>
    <message>
        <source>The pencil paper&apos;s grain (variant 2) holds still wherever the picture does not change, instead of changing every three frames</source>
        <translation>El grano del papel de dibujo (variante 2) se queda quieto donde la imagen no cambia, en lugar de cambiar cada tres fotogramas</translation>
    </message>
    <message>
        <source>Ink</source>
        <translation>Tinta</translation>
    </message>
    <message>
        <source>How dark a tone must be before it turns to solid ink: lower keeps only the outlines and the deepest shadows, higher fills more</source>
        <translation>Lo oscuro que debe ser un tono para convertirse en tinta sólida: menos conserva solo los contornos y las sombras más profundas, más rellena más</translation>
    </message>
    <message>
        <source>Lines</source>
        <translation>Líneas</translation>
    </message>
    <message>
        <source>How strong a colour difference must be to draw an outline: lower draws fewer, cleaner lines, higher more detail</source>
        <translation>Lo fuerte que debe ser una diferencia de color para dibujar un contorno: menos dibuja menos líneas y más limpias, más muestra más detalle</translation>
    </message>
</context>
<context>
    <name>qf::Variants</name>
    <message>
        <source>Line sketch</source>
        <translation>Boceto de líneas</translation>
    </message>
    <message>
        <source>Black pencil lines on white paper</source>
        <translation>Líneas de lápiz negras sobre papel blanco</translation>
    </message>
    <message>
        <source>Stucki dots</source>
        <translation>Puntos de Stucki</translation>
    </message>
    <message>
        <source>The sketched frame as black and white dots</source>
        <translation>El fotograma dibujado como puntos blancos y negros</translation>
    </message>
    <message>
        <source>Pencil on paper</source>
        <translation>Lápiz sobre papel</translation>
    </message>
    <message>
        <source>Pencil lines on a grainy paper texture</source>
        <translation>Líneas de lápiz sobre una textura de papel granulada</translation>
    </message>
    <message>
        <source>Vivid colour</source>
        <translation>Color vivo</translation>
    </message>
    <message>
        <source>Bright, saturated colours with sketch lines</source>
        <translation>Colores claros y saturados con líneas de boceto</translation>
    </message>
    <message>
        <source>Vivid colour with dots</source>
        <translation>Color vivo con puntos</translation>
    </message>
    <message>
        <source>Bright, saturated colours under a layer of dots</source>
        <translation>Colores claros y saturados bajo una capa de puntos</translation>
    </message>
    <message>
        <source>Colour sketch</source>
        <translation>Boceto en color</translation>
    </message>
    <message>
        <source>Sketch lines over flat cartoon colours (or the frame&apos;s own colours)</source>
        <translation>Líneas de boceto sobre colores planos de dibujo animado (o los colores propios del fotograma)</translation>
    </message>
    <message>
        <source>Colour sketch with dots</source>
        <translation>Boceto en color con puntos</translation>
    </message>
    <message>
        <source>Sketch lines and dots over flat cartoon colours</source>
        <translation>Líneas y puntos de boceto sobre colores planos de dibujo animado</translation>
    </message>
    <message>
        <source>Sepia tint</source>
        <translation>Tono sepia</translation>
    </message>
    <message>
        <source>A warm single-hue tint that keeps the lightness</source>
        <translation>Un tono cálido de un solo matiz que conserva la luminosidad</translation>
    </message>
    <message>
        <source>Sepia tint with dots</source>
        <translation>Tono sepia con puntos</translation>
    </message>
    <message>
        <source>A warm single-hue tint under a layer of dots</source>
        <translation>Un tono cálido de un solo matiz bajo una capa de puntos</translation>
    </message>
    <message>
        <source>Poster</source>
        <translation>Posterizado</translation>
    </message>
    <message>
        <source>Two levels per colour channel</source>
        <translation>Dos niveles por canal de color</translation>
    </message>
    <message>
        <source>Poster with dots</source>
        <translation>Posterizado con puntos</translation>
    </message>
    <message>
        <source>Two levels per colour channel under a layer of dots</source>
        <translation>Dos niveles por canal de color bajo una capa de puntos</translation>
    </message>
    <message>
        <source>High contrast</source>
        <translation>Alto contraste</translation>
    </message>
    <message>
        <source>Mid-tones stretched to hard light and dark</source>
        <translation>Tonos medios llevados a claros y oscuros duros</translation>
    </message>
    <message>
        <source>High contrast with dots</source>
        <translation>Alto contraste con puntos</translation>
    </message>
    <message>
        <source>Hard light and dark under a layer of dots</source>
        <translation>Claros y oscuros duros bajo una capa de puntos</translation>
    </message>
    <message>
        <source>Eight greys</source>
        <translation>Ocho grises</translation>
    </message>
    <message>
        <source>The sketched frame in eight grey levels</source>
        <translation>El fotograma dibujado en ocho niveles de gris</translation>
    </message>
    <message>
        <source>Eight greys with dots</source>
        <translation>Ocho grises con puntos</translation>
    </message>
    <message>
        <source>Eight grey levels under a layer of dots</source>
        <translation>Ocho niveles de gris bajo una capa de puntos</translation>
    </message>
    <message>
        <source>Grey sketch</source>
        <translation>Boceto en gris</translation>
    </message>
    <message>
        <source>The sketched frame in shades of grey</source>
        <translation>El fotograma dibujado en tonos de gris</translation>
    </message>
    <message>
        <source>Grey sketch with dots</source>
        <translation>Boceto en gris con puntos</translation>
    </message>
    <message>
        <source>Shades of grey under a layer of dots</source>
        <translation>Tonos de gris bajo una capa de puntos</translation>
    </message>
</context>
<context>
    <name>qf::shell::UpdateReminder</name>
    <message>
        <source>Do you want to visit our website to check if there is a new version released?</source>
        <translation>¿Quiere visitar nuestro sitio web para comprobar si se ha publicado una versión nueva?</translation>
    </message>
</context>
</TS>
