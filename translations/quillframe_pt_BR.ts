<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR">
<context>
    <name>ChoosePage</name>
    <message>
        <source>Rest the pointer on an effect, or press P, to see it play</source>
        <translation>Deixe o ponteiro sobre um efeito, ou pressione P, para vê-lo em movimento</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Pré-visualização</translation>
    </message>
    <message>
        <source>Play the ticked effect (P)</source>
        <translation>Reproduzir o efeito marcado (P)</translation>
    </message>
    <message>
        <source>Preview: %1</source>
        <translation>Pré-visualização: %1</translation>
    </message>
</context>
<context>
    <name>ClipBar</name>
    <message>
        <source>Where the GIF begins in the clip (minutes:seconds)</source>
        <translation>Onde o GIF começa no clipe (minutos:segundos)</translation>
    </message>
    <message>
        <source>&amp;From</source>
        <translation>&amp;De</translation>
    </message>
    <message>
        <source>Where the GIF ends in the clip (minutes:seconds)</source>
        <translation>Onde o GIF termina no clipe (minutos:segundos)</translation>
    </message>
    <message>
        <source>&amp;to</source>
        <translation>&amp;até</translation>
    </message>
    <message>
        <source> fps</source>
        <translation> fps</translation>
    </message>
    <message>
        <source>Frames a second taken from the clip</source>
        <translation>Quadros por segundo tirados do clipe</translation>
    </message>
    <message numerus="yes">
        <source>%n frames</source>
        <translation>
            <numerusform>%n quadro</numerusform>
            <numerusform>%n quadros</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FormBatch</name>
    <message>
        <source>Please open an animated GIF file</source>
        <translation>Abra um arquivo GIF animado</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Voltar</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Avançar</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Salvar</translation>
    </message>
    <message>
        <source>Back to the previous step</source>
        <translation>Voltar à etapa anterior</translation>
    </message>
    <message>
        <source>Go on to the next step</source>
        <translation>Avançar para a próxima etapa</translation>
    </message>
    <message>
        <source>Save the sketch GIF</source>
        <translation>Salvar o GIF desenhado</translation>
    </message>
    <message>
        <source>Menu Bar</source>
        <translation>Barra de menus</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>Etapa</translation>
    </message>
    <message>
        <source>Step 1: Open a GIF file</source>
        <translation>Etapa 1: abrir um arquivo GIF</translation>
    </message>
    <message>
        <source>Commands</source>
        <translation>Comandos</translation>
    </message>
    <message>
        <source>Please wait...</source>
        <translation>Aguarde…</translation>
    </message>
    <message>
        <source>Stop this work</source>
        <translation>Interromper este trabalho</translation>
    </message>
    <message>
        <source>Step 1: Please open a GIF file</source>
        <translation>Etapa 1: abra um arquivo GIF</translation>
    </message>
    <message>
        <source>Step 2: Please select an effect, then click Next</source>
        <translation>Etapa 2: selecione um efeito e clique em Avançar</translation>
    </message>
    <message>
        <source>Step 3: Click Save to save the GIF file.</source>
        <translation>Etapa 3: clique em Salvar para salvar o arquivo GIF.</translation>
    </message>
    <message>
        <source>&amp;Options ●</source>
        <translation>&amp;Opções ●</translation>
    </message>
    <message>
        <source>GIF File (*.gif)</source>
        <translation>Arquivo GIF (*.gif)</translation>
    </message>
    <message>
        <source>The file is damaged after frame %1; %2 frames were read.</source>
        <translation>O arquivo está danificado após o quadro %1; %2 quadros foram lidos.</translation>
    </message>
    <message>
        <source>The GIF file could not be converted.

%1</source>
        <translation>Não foi possível converter o arquivo GIF.

%1</translation>
    </message>
    <message>
        <source>The converted GIF cannot be shown.

%1</source>
        <translation>Não é possível exibir o GIF convertido.

%1</translation>
    </message>
    <message>
        <source>Animated WebP (*.webp)</source>
        <translation>WebP animado (*.webp)</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 já existe.
Deseja substituí-lo?</translation>
    </message>
    <message>
        <source>The GIF file could not be saved.

%1</source>
        <translation>Não foi possível salvar o arquivo GIF.

%1</translation>
    </message>
    <message>
        <source>The WebP file could not be saved.

%1</source>
        <translation>Não foi possível salvar o arquivo WebP.

%1</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Configurações</translation>
    </message>
    <message>
        <source>Updating the previews…</source>
        <translation>Atualizando as pré-visualizações…</translation>
    </message>
    <message>
        <source>Restore defaults</source>
        <translation>Restaurar padrões</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Opções</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O)</source>
        <translation>Mostrar as opções do efeito (Alt+O)</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Sair</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Pré-visualização</translation>
    </message>
    <message>
        <source>Saving the GIF file...</source>
        <translation>Salvando o arquivo GIF…</translation>
    </message>
    <message>
        <source>Stop the work in progress and open %1?</source>
        <translation>Interromper o trabalho em andamento e abrir %1?</translation>
    </message>
    <message numerus="yes">
        <source>%1 × %2 pixels, %n frames, %3 s, %4</source>
        <translation>
            <numerusform>%1 × %2 pixels, %n quadro, %3 s, %4</numerusform>
            <numerusform>%1 × %2 pixels, %n quadros, %3 s, %4</numerusform>
        </translation>
    </message>
    <message>
        <source>Saving the WebP file...</source>
        <translation>Salvando o arquivo WebP…</translation>
    </message>
    <message>
        <source>All supported files (%1)</source>
        <translation>Todos os arquivos compatíveis (%1)</translation>
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
        <translation>Todos os arquivos (*)</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O): 1 option differs from the defaults</source>
        <translation>Mostrar as opções do efeito (Alt+O): 1 opção difere do padrão</translation>
    </message>
    <message>
        <source>Show the effect options (Alt+O): %1 options differ from the defaults</source>
        <translation>Mostrar as opções do efeito (Alt+O): %1 opções diferem do padrão</translation>
    </message>
    <message>
        <source>Open a GIF, an animated WebP or a video clip</source>
        <translation>Abrir um GIF, um WebP animado ou um clipe de vídeo</translation>
    </message>
    <message>
        <source>No web browser could be started. The address of the web site is:
%1</source>
        <translation>Não foi possível abrir um navegador. O endereço do site é:
%1</translation>
    </message>
    <message>
        <source>This file cannot be opened as an animation.

%1</source>
        <translation>Este arquivo não pode ser aberto como animação.

%1</translation>
    </message>
    <message>
        <source>Making the GIF fit under %1...</source>
        <translation>Ajustando o GIF para caber em %1…</translation>
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
        <translation>Salvando o arquivo de vídeo...</translation>
    </message>
    <message>
        <source>The video file could not be saved.

%1</source>
        <translation>Não foi possível salvar o arquivo de vídeo.

%1</translation>
    </message>
</context>
<context>
    <name>OpenPage</name>
    <message>
        <source>Click Here to Open Your GIF File</source>
        <translation>Clique aqui para abrir seu arquivo GIF</translation>
    </message>
    <message>
        <source>Quillframe %1 — hand-drawn animations from your GIFs</source>
        <translation>Quillframe %1 — animações desenhadas à mão a partir dos seus GIFs</translation>
    </message>
    <message>
        <source>or drop a GIF, an animated WebP or a video clip anywhere on this window</source>
        <translation>ou solte um GIF, um WebP animado ou um clipe de vídeo em qualquer lugar desta janela</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>the folder %1 does not exist</source>
        <translation>a pasta %1 não existe</translation>
    </message>
    <message>
        <source>this folder does not accept new files</source>
        <translation>esta pasta não aceita novos arquivos</translation>
    </message>
    <message>
        <source>you have no permission to write into this folder</source>
        <translation>você não tem permissão para gravar nesta pasta</translation>
    </message>
    <message>
        <source>the disk of this folder is read-only</source>
        <translation>o disco desta pasta é somente leitura</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>o disco está cheio</translation>
    </message>
    <message>
        <source>the save was stopped</source>
        <translation>o salvamento foi interrompido</translation>
    </message>
    <message>
        <source>Cannot check for another running Quillframe window:
%1</source>
        <translation>Não é possível verificar se outra janela do Quillframe está aberta:
%1</translation>
    </message>
    <message>
        <source>permission denied</source>
        <translation>permissão negada</translation>
    </message>
    <message>
        <source>the lock file cannot be written</source>
        <translation>o arquivo de trava não pode ser gravado</translation>
    </message>
    <message>
        <source>it is not a folder</source>
        <translation>não é uma pasta</translation>
    </message>
    <message>
        <source>it belongs to another user</source>
        <translation>pertence a outro usuário</translation>
    </message>
    <message>
        <source>the folder cannot be created</source>
        <translation>a pasta não pode ser criada</translation>
    </message>
    <message>
        <source>Save the sketch GIF</source>
        <translation>Salvar o GIF desenhado</translation>
    </message>
    <message>
        <source>Open a GIF, an animated WebP or a video clip</source>
        <translation>Abrir um GIF, um WebP animado ou um clipe de vídeo</translation>
    </message>
</context>
<context>
    <name>ResultPage</name>
    <message>
        <source>Fit under:</source>
        <translation>Tamanho máximo:</translation>
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
        <translation>Usar o tamanho original</translation>
    </message>
    <message>
        <source>Convert again without a size limit</source>
        <translation>Converter de novo sem limite de tamanho</translation>
    </message>
    <message>
        <source>Made to fit under %1.</source>
        <translation>Ajustado para caber em %1.</translation>
    </message>
    <message>
        <source>quality %1</source>
        <translation>qualidade %1</translation>
    </message>
    <message>
        <source>1 frame in %1</source>
        <translation>1 quadro a cada %1</translation>
    </message>
    <message>
        <source>shrunk to %1%</source>
        <translation>reduzido a %1%</translation>
    </message>
    <message>
        <source>Made to fit under %1: %2.</source>
        <translation>Ajustado para caber em %1: %2.</translation>
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
        <translation>Reproduzir ou pausar (Espaço)</translation>
    </message>
    <message>
        <source>Next frame</source>
        <translation>Próximo quadro</translation>
    </message>
    <message>
        <source>Show the next frame (Right; Left goes back)</source>
        <translation>Mostrar o próximo quadro (Direita; Esquerda volta)</translation>
    </message>
    <message>
        <source>1:1</source>
        <translation>1:1</translation>
    </message>
    <message>
        <source>Show at the real size, or fitted</source>
        <translation>Mostrar no tamanho real ou ajustado</translation>
    </message>
    <message>
        <source>Before</source>
        <translation>Antes</translation>
    </message>
    <message>
        <source>Hold to see the original (or hold B)</source>
        <translation>Mantenha pressionado para ver o original (ou mantenha B)</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Reproduzir</translation>
    </message>
</context>
<context>
    <name>WorkPage</name>
    <message>
        <source>Please wait...</source>
        <translation>Aguarde…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Frame %1 of %2</source>
        <translation>Quadro %1 de %2</translation>
    </message>
</context>
<context>
    <name>qf::Switches</name>
    <message>
        <source>Color Sketch</source>
        <translation>Esboço colorido</translation>
    </message>
    <message>
        <source>Colour instead of grey sketch depth, dots and pencil layer (variant 2)</source>
        <translation>Cor em vez de cinza na profundidade do esboço, nos pontos e na camada de lápis (variante 2)</translation>
    </message>
    <message>
        <source>Sharpen</source>
        <translation>Nitidez</translation>
    </message>
    <message>
        <source>Sharpen the finished picture</source>
        <translation>Aumentar a nitidez da imagem final</translation>
    </message>
    <message>
        <source>Mix similar color</source>
        <translation>Misturar cores semelhantes</translation>
    </message>
    <message>
        <source>Merge areas of similar colour into flat cartoon colours under the lines</source>
        <translation>Unir áreas de cor semelhante em cores chapadas de desenho animado sob as linhas</translation>
    </message>
    <message>
        <source>Adjust sketch depth</source>
        <translation>Ajustar profundidade do esboço</translation>
    </message>
    <message>
        <source>Darken or lighten lines and dots to follow the frame&apos;s shading</source>
        <translation>Escurecer ou clarear linhas e pontos de acordo com o sombreamento do quadro</translation>
    </message>
    <message>
        <source>Blur</source>
        <translation>Desfocar</translation>
    </message>
    <message>
        <source>Soften the finished picture with a 2 x 2 box average (before sharpening)</source>
        <translation>Suavizar a imagem final com uma média de 2 x 2 pixels (antes da nitidez)</translation>
    </message>
    <message>
        <source>Still grain</source>
        <translation>Granulação parada</translation>
    </message>
    <message>
        <source>The pencil paper&apos;s grain (variant 2) holds still wherever the picture does not change, instead of changing every three frames</source>
        <translation>A granulação do papel de desenho (variante 2) fica parada onde a imagem não muda, em vez de mudar a cada três quadros</translation>
    </message>
    <message>
        <source>Ink</source>
        <translation>Tinta</translation>
    </message>
    <message>
        <source>How dark a tone must be before it turns to solid ink: lower keeps only the outlines and the deepest shadows, higher fills more</source>
        <translation>Quão escuro um tom deve ser para virar tinta sólida: menos mantém só os contornos e as sombras mais profundas, mais preenche mais</translation>
    </message>
    <message>
        <source>Lines</source>
        <translation>Linhas</translation>
    </message>
    <message>
        <source>How strong a colour difference must be to draw an outline: lower draws fewer, cleaner lines, higher more detail</source>
        <translation>Quão forte uma diferença de cor deve ser para desenhar um contorno: menos desenha linhas mais poucas e limpas, mais mostra mais detalhes</translation>
    </message>
</context>
<context>
    <name>qf::Variants</name>
    <message>
        <source>Line sketch</source>
        <translation>Esboço em linhas</translation>
    </message>
    <message>
        <source>Black pencil lines on white paper</source>
        <translation>Linhas de lápis pretas em papel branco</translation>
    </message>
    <message>
        <source>Stucki dots</source>
        <translation>Pontos de Stucki</translation>
    </message>
    <message>
        <source>The sketched frame as black and white dots</source>
        <translation>O quadro desenhado em pontos pretos e brancos</translation>
    </message>
    <message>
        <source>Pencil on paper</source>
        <translation>Lápis no papel</translation>
    </message>
    <message>
        <source>Pencil lines on a grainy paper texture</source>
        <translation>Linhas de lápis sobre uma textura de papel granulada</translation>
    </message>
    <message>
        <source>Vivid colour</source>
        <translation>Cores vivas</translation>
    </message>
    <message>
        <source>Bright, saturated colours with sketch lines</source>
        <translation>Cores claras e saturadas com linhas de esboço</translation>
    </message>
    <message>
        <source>Vivid colour with dots</source>
        <translation>Cores vivas com pontos</translation>
    </message>
    <message>
        <source>Bright, saturated colours under a layer of dots</source>
        <translation>Cores claras e saturadas sob uma camada de pontos</translation>
    </message>
    <message>
        <source>Colour sketch</source>
        <translation>Esboço colorido</translation>
    </message>
    <message>
        <source>Sketch lines over flat cartoon colours (or the frame&apos;s own colours)</source>
        <translation>Linhas de esboço sobre cores chapadas de desenho animado (ou as cores do próprio quadro)</translation>
    </message>
    <message>
        <source>Colour sketch with dots</source>
        <translation>Esboço colorido com pontos</translation>
    </message>
    <message>
        <source>Sketch lines and dots over flat cartoon colours</source>
        <translation>Linhas e pontos de esboço sobre cores chapadas de desenho animado</translation>
    </message>
    <message>
        <source>Sepia tint</source>
        <translation>Tom sépia</translation>
    </message>
    <message>
        <source>A warm single-hue tint that keeps the lightness</source>
        <translation>Um tom quente de um só matiz que preserva a luminosidade</translation>
    </message>
    <message>
        <source>Sepia tint with dots</source>
        <translation>Tom sépia com pontos</translation>
    </message>
    <message>
        <source>A warm single-hue tint under a layer of dots</source>
        <translation>Um tom quente de um só matiz sob uma camada de pontos</translation>
    </message>
    <message>
        <source>Poster</source>
        <translation>Posterizado</translation>
    </message>
    <message>
        <source>Two levels per colour channel</source>
        <translation>Dois níveis por canal de cor</translation>
    </message>
    <message>
        <source>Poster with dots</source>
        <translation>Posterizado com pontos</translation>
    </message>
    <message>
        <source>Two levels per colour channel under a layer of dots</source>
        <translation>Dois níveis por canal de cor sob uma camada de pontos</translation>
    </message>
    <message>
        <source>High contrast</source>
        <translation>Alto contraste</translation>
    </message>
    <message>
        <source>Mid-tones stretched to hard light and dark</source>
        <translation>Meios-tons levados a claros e escuros intensos</translation>
    </message>
    <message>
        <source>High contrast with dots</source>
        <translation>Alto contraste com pontos</translation>
    </message>
    <message>
        <source>Hard light and dark under a layer of dots</source>
        <translation>Claros e escuros intensos sob uma camada de pontos</translation>
    </message>
    <message>
        <source>Eight greys</source>
        <translation>Oito cinzas</translation>
    </message>
    <message>
        <source>The sketched frame in eight grey levels</source>
        <translation>O quadro desenhado em oito níveis de cinza</translation>
    </message>
    <message>
        <source>Eight greys with dots</source>
        <translation>Oito cinzas com pontos</translation>
    </message>
    <message>
        <source>Eight grey levels under a layer of dots</source>
        <translation>Oito níveis de cinza sob uma camada de pontos</translation>
    </message>
    <message>
        <source>Grey sketch</source>
        <translation>Esboço em cinza</translation>
    </message>
    <message>
        <source>The sketched frame in shades of grey</source>
        <translation>O quadro desenhado em tons de cinza</translation>
    </message>
    <message>
        <source>Grey sketch with dots</source>
        <translation>Esboço em cinza com pontos</translation>
    </message>
    <message>
        <source>Shades of grey under a layer of dots</source>
        <translation>Tons de cinza sob uma camada de pontos</translation>
    </message>
</context>
<context>
    <name>qf::shell::UpdateReminder</name>
    <message>
        <source>Do you want to visit our website to check if there is a new version released?</source>
        <translation>Deseja visitar nosso site para verificar se foi lançada uma nova versão?</translation>
    </message>
</context>
</TS>
